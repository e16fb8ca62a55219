// Tells when a press of the hotkey went to another client (see the header).
#include "platform/x11/x11_hotkey_watch.h"

#include <algorithm>
#include <chrono>

#include <X11/XKBlib.h>
#include <X11/extensions/XInput2.h>

namespace teclix::x11 {

namespace {

// The grab's press and the raw one come from the same key event and are sent
// together; this is only slack for a busy program.
constexpr auto kDecideAfter = std::chrono::milliseconds(300);
constexpr std::size_t kReachedKept = 16;

} // namespace

bool HotkeyWatch::start(unsigned keycode, unsigned modifiers, std::function<void()> taken) {
  int event = 0, error = 0;
  if (!XQueryExtension(x_.display, "XInputExtension", &opcode_, &event, &error)) {
    return false;
  }
  int major = 2, minor = 1; // raw events during other clients' grabs
  if (XIQueryVersion(x_.display, &major, &minor) != Success || major < 2 ||
      (major == 2 && minor < 1)) {
    return false;
  }
  keycode_ = keycode;
  modifiers_ = modifiers;
  taken_ = std::move(taken);
  on_ = true;
  select(true);
  return true;
}

void HotkeyWatch::stop() {
  if (on_) {
    select(false);
    on_ = false;
    seen_.clear();
    loop_.cancel(EventLoop::Deadline::kHotkeyCheck);
  }
}

void HotkeyWatch::pause(bool paused) {
  if (on_) {
    select(!paused);
  }
}

void HotkeyWatch::select(bool on) {
  unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
  if (on) {
    XISetMask(bits, XI_RawKeyPress);
  }
  XIEventMask mask{XIAllMasterDevices, sizeof bits, bits};
  XISelectEvents(x_.display, x_.root, &mask, 1);
  XFlush(x_.display);
}

bool HotkeyWatch::handle(XEvent &e) {
  if (e.type != GenericEvent || e.xcookie.extension != opcode_) {
    return false;
  }
  if (!on_ || !XGetEventData(x_.display, &e.xcookie)) {
    return true;
  }
  if (e.xcookie.evtype == XI_RawKeyPress) {
    const auto *raw = static_cast<const XIRawEvent *>(e.xcookie.data);
    if (static_cast<unsigned>(raw->detail) == keycode_) {
      // A press with other modifiers was not meant as the hotkey.
      XkbStateRec state{};
      XkbGetState(x_.display, XkbUseCoreKbd, &state);
      constexpr unsigned kChosen = ShiftMask | ControlMask | Mod1Mask | Mod4Mask;
      if ((state.mods & kChosen) == modifiers_) {
        seen_.push_back(raw->time);
        loop_.set(EventLoop::Deadline::kHotkeyCheck, EventLoop::Clock::now() + kDecideAfter,
                  [this] { check(); });
      }
    }
  }
  XFreeEventData(x_.display, &e.xcookie);
  return true;
}

void HotkeyWatch::reached(Time time) {
  reached_.push_back(time);
  if (reached_.size() > kReachedKept) {
    reached_.pop_front();
  }
}

bool HotkeyWatch::queued_as_hotkey(Time time) {
  struct Wanted {
    unsigned keycode;
    Time time;
    bool found;
  } wanted{keycode_, time, false};
  // Looks through the queue and takes nothing out.
  auto look = [](Display *, XEvent *e, XPointer arg) -> Bool {
    auto *w = reinterpret_cast<Wanted *>(arg);
    if (e->type == KeyPress && e->xkey.keycode == w->keycode && e->xkey.time == w->time) {
      w->found = true;
    }
    return False;
  };
  XEvent unused;
  XCheckIfEvent(x_.display, &unused, look, reinterpret_cast<XPointer>(&wanted));
  return wanted.found;
}

void HotkeyWatch::check() {
  bool any_taken = false;
  for (const Time time : seen_) {
    const bool reached = std::find(reached_.begin(), reached_.end(), time) != reached_.end();
    if (!reached && !queued_as_hotkey(time)) {
      any_taken = true;
    }
  }
  seen_.clear();
  if (any_taken && taken_) {
    taken_();
  }
}

} // namespace teclix::x11
