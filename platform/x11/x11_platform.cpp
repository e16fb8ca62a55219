// The X11 backend: owns the parts (connection, event loop, main window, hotkey,
// clipboard, keyboard, synthetic events) and forwards the seam's calls to them.
#include "platform/x11/x11_platform.h"

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <langinfo.h>
#include <thread>

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include "helpers/automation.h"
#include "platform/x11/x11_focus.h"
#include "platform/x11/x11_launcher.h"
#include "platform/x11/x11_message_box.h"
#include "typing/unicode.h"

namespace teclix::x11 {

std::unique_ptr<X11Platform> X11Platform::open(const char *display_name, std::string &error) {
  std::unique_ptr<Connection> connection = Connection::open(display_name, error);
  if (!connection) {
    return nullptr;
  }
  return std::unique_ptr<X11Platform>(new X11Platform(std::move(connection)));
}

X11Platform::X11Platform(std::unique_ptr<Connection> connection)
    : connection_(std::move(connection)), loop_(connection_->display), window_(*connection_),
      hotkey_(*connection_), hotkey_watch_(*connection_, loop_), clipboard_(*connection_, loop_),
      keyboard_(*connection_), synthetic_(*connection_, loop_, keyboard_) {
  // Lent keycodes go back when the keyboard says, unless a paste starts first: the
  // time is set whenever the program is about to wait, whatever it did before.
  loop_.before_waiting([this] { schedule_give_back(); });
}

// --- The main window -------------------------------------------------------------------

WindowHandle X11Platform::create_main_window(WindowEvents &events) {
  events_ = &events;
  return window_.create(events);
}

void X11Platform::show_window(WindowHandle) {
  window_.show();
}

void X11Platform::set_caption(WindowHandle window, const std::u16string &text) {
  if (window != 0) {
    window_.set_caption(utf16_to_utf8(text));
  }
}

void X11Platform::set_instruction(WindowHandle, const std::u16string &text) {
  window_.set_instruction(utf16_to_utf8(text));
}

void X11Platform::set_link(WindowHandle, const std::u16string &text) {
  window_.set_link(utf16_to_utf8(text));
}

void X11Platform::set_button(WindowHandle, const std::u16string &text) {
  window_.set_button(utf16_to_utf8(text));
}

void X11Platform::set_link_color(WindowHandle, Rgb color) {
  window_.set_link_color(color);
}

void X11Platform::open_address(const std::u16string &address) {
  open_in_browser(utf16_to_utf8(address));
}

SessionState X11Platform::session_state() {
  const char *type = std::getenv("XDG_SESSION_TYPE");
  const char *wayland = std::getenv("WAYLAND_DISPLAY");
  if ((type && std::strcmp(type, "wayland") == 0) || (wayland && *wayland)) {
    std::fprintf(stderr, "teclix: sesión Wayland: F10 y las teclas solo llegan a ventanas X11\n");
    return SessionState{SessionState::Keys::kX11WindowsOnly};
  }
  return {};
}

void X11Platform::show_last_resort_error(const std::u16string &message) {
  // F10 goes back first: the user may need it while the box is open.
  unregister_hotkey();
  message_box(message, u"Teclix", MessageBoxStyle{MessageBoxButtons::kOk, MessageBoxIcon::kError});
}

BoxAnswer X11Platform::message_box(const std::u16string &prompt, const std::u16string &title,
                                   const MessageBoxStyle &style) {
  Window focus = None;
  int revert = 0;
  Display *d = connection_->display;
  XGetInputFocus(d, &focus, &revert);
  DialogSetup setup;
  setup.display = d;
  setup.atoms = &connection_->atoms;
  setup.screen = connection_->screen;
  setup.owner = window_.id();
  setup.dpi = window_.dpi();
  setup.loop = &loop_;
  setup.owner_event = [this](const XEvent &e) {
    // The window under the box repaints but takes no input until the box closes.
    if (e.type == Expose && e.xexpose.count == 0) {
      window_.draw();
    }
  };
  const BoxAnswer result =
      run_message_box(setup, utf16_to_utf8(prompt), utf16_to_utf8(title), style);
  // The keyboard goes back where it was, if that window is still there.
  if (focus != None && focus != PointerRoot) {
    ErrorTrap trap(d);
    XSetInputFocus(d, focus, revert, CurrentTime);
  }
  return result;
}

// --- Hotkey and loop -------------------------------------------------------------------

CallResult X11Platform::register_hotkey(Key key, unsigned modifiers) {
  const std::optional<KeySym32> keysym = keysym_for(key);
  if (!keysym) {
    return CallResult{false, u"ninguna tecla del teclado produce esa tecla"};
  }
  unsigned mods = 0;
  mods |= (modifiers & kShift) ? ShiftMask : 0;
  mods |= (modifiers & kControl) ? ControlMask : 0;
  mods |= (modifiers & kAlt) ? Mod1Mask : 0;
  mods |= (modifiers & kSuper) ? Mod4Mask : 0;
  const CallResult result = hotkey_.grab(*keysym, mods);
  keyboard_.reserve(hotkey_.keycode());
  // A press another client takes is told to the window (from the event loop).
  if (result.ok && !hotkey_watch_.start(hotkey_.keycode(), mods, [this] {
        if (events_) {
          events_->on_hotkey_taken();
        }
      })) {
    std::fprintf(stderr, "teclix: sin XInput 2.1, no se sabrá si otra ventana se queda con F10\n");
  }
  return result;
}

void X11Platform::unregister_hotkey() {
  hotkey_watch_.stop();
  hotkey_.release();
}

void X11Platform::wait_message() {
  loop_.wait();
}

void X11Platform::wait_message_until(std::chrono::steady_clock::time_point until) {
  loop_.wait(until);
}

bool X11Platform::take_paste_press() {
  return take_paste_request() || take_key_press();
}

bool X11Platform::take_paste_request() {
  return paste_requests_.take && paste_requests_.take();
}

bool X11Platform::take_key_press() {
  if (!hotkey_.take_press()) {
    return false;
  }
  hotkey_watch_.reached(hotkey_.last_press());
  return true;
}

void X11Platform::pump_events() {
  // Asked to end (SIGTERM, SIGINT): as if the window were closed.
  if (stop_requested() && events_ && !stop_handled_) {
    stop_handled_ = true;
    events_->on_close();
  }
  // The events queued now, and no more: an F10 press that comes in while they
  // are handled (a redraw can take a while) waits for the next pass of the loop.
  Display *d = connection_->display;
  for (int queued = XEventsQueued(d, QueuedAfterReading); queued > 0; --queued) {
    XEvent e;
    XNextEvent(d, &e);
    if (e.type == MappingNotify) {
      XRefreshKeyboardMapping(&e.xmapping);
      keyboard_.map_changed();
    } else if (hotkey_watch_.handle(e)) {
      // a raw key press, looked at for the hotkey
    } else {
      // F10 presses that came in during a paste, and releases, do nothing.
      window_.handle(e);
    }
  }
}

// --- What a paste reads ----------------------------------------------------------------

WindowHandle X11Platform::focused_control() {
  return focused_window(*connection_);
}

std::optional<bool> X11Platform::x11_window_active() {
  const std::optional<Window> active = active_window(*connection_);
  if (!active) {
    return std::nullopt;
  }
  return *active != None && *active != connection_->root &&
         listed_client(*connection_, *active).value_or(true);
}

TargetWindow X11Platform::focused_target() {
  return top_level_of(*connection_, focused_window(*connection_));
}

std::optional<std::u16string> X11Platform::clipboard_text() {
  return clipboard_.text();
}

NumberFormat X11Platform::number_format() {
  const lconv *conv = std::localeconv();
  const bool utf8 = std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
  auto convert = [utf8](const char *s) {
    if (utf8) {
      return utf8_to_utf16(s);
    }
    std::u16string out;
    for (const char *p = s; *p; ++p) {
      out += static_cast<char16_t>(static_cast<unsigned char>(*p));
    }
    return out;
  };
  NumberFormat format;
  format.decimal = convert(conv->decimal_point);
  format.grouping = convert(conv->thousands_sep);
  format.negative = u"-";
  if (format.decimal.empty()) {
    format.decimal = u".";
  }
  return format;
}

// --- Keyboard output ----------------------------------------------------------------------

void X11Platform::schedule_give_back() {
  if (const auto when = keyboard_.give_back_time()) {
    loop_.set(EventLoop::Deadline::kGiveBackKeys, *when, [this] { keyboard_.give_back_keys(); });
  }
}

// Keys go out as they are sent: the core's own checks are all it takes to stop.
void X11Platform::begin_typing(std::u16string_view text, TypingMode mode, std::function<bool()>) {
  loop_.cancel(EventLoop::Deadline::kGiveBackKeys);
  hotkey_watch_.pause(true);
  keyboard_.begin_typing(text, mode);
}

std::optional<DeadKeySequence> X11Platform::dead_key_sequence(char32_t ch) {
  return keyboard_.dead_key_sequence(ch);
}

std::optional<char32_t> X11Platform::key_character(Key key) {
  return x11::key_character(key);
}

void X11Platform::pause(std::chrono::milliseconds time) {
  XFlush(connection_->display);
  std::this_thread::sleep_for(time);
}

void X11Platform::end_typing() {
  hotkey_watch_.pause(false);
  keyboard_.end_typing();
  drop_paste_requests();
}

void X11Platform::drop_paste_requests() {
  if (paste_requests_.drop) {
    paste_requests_.drop();
  }
}

std::optional<KeyLocation> X11Platform::locate(char32_t ch) {
  return keyboard_.locate(ch);
}

unsigned X11Platform::held_modifiers() {
  return keyboard_.held_modifiers();
}

void X11Platform::send_key(Key key, bool up) {
  keyboard_.send_key(key, up);
}

void X11Platform::send_layout_key(std::uint32_t key, bool up) {
  keyboard_.send_layout_key(key, up);
}

bool X11Platform::send_character(char32_t ch) {
  return keyboard_.send_character(ch);
}

// --- Pointer and messages to other windows ----------------------------------------------

Point X11Platform::cursor_position() {
  return synthetic_.cursor_position();
}

void X11Platform::set_cursor_position(Point point) {
  synthetic_.set_cursor_position(point);
}

void X11Platform::left_button(bool up) {
  synthetic_.left_button(up);
}

void X11Platform::send_right_double_click(WindowHandle window) {
  synthetic_.send_right_double_click(static_cast<Window>(window));
}

// Posted characters are read as Windows-1252 (western_char).
std::uint8_t X11Platform::post_code(char16_t ch) {
  return western_code(ch);
}

void X11Platform::post_character(WindowHandle window, std::uint8_t code) {
  synthetic_.post_character(static_cast<Window>(window), code);
}

} // namespace teclix::x11
