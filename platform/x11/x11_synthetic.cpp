// Synthetic events for the automation helpers: the pointer and its left button,
// a right double click sent to a window, and characters posted to a window.
#include "platform/x11/x11_synthetic.h"

#include <chrono>
#include <optional>

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include "typing/unicode.h"

namespace teclix::x11 {

namespace {

// The key that a control character posted to a window stands for.
KeySym control_keysym(char32_t ch) {
  switch (ch) {
  case U'\b':
    return XK_BackSpace;
  case U'\t':
    return XK_Tab;
  case U'\n':
  case U'\r':
    return XK_Return;
  case 0x1B:
    return XK_Escape;
  default:
    return NoSymbol;
  }
}

// The fields a key or button event sent to a window shares with the other kind.
template <typename Event>
Event addressed(const Connection &x, int type, Window window, Time time, unsigned state) {
  Event e{};
  e.type = type;
  e.display = x.display;
  e.window = window;
  e.root = x.root;
  e.subwindow = None;
  e.time = time;
  e.state = state;
  e.same_screen = True;
  return e;
}

} // namespace

Point SyntheticEvents::cursor_position() {
  Window root = None, child = None;
  int root_x = 0, root_y = 0, x = 0, y = 0;
  unsigned state = 0;
  XQueryPointer(x_.display, x_.root, &root, &child, &root_x, &root_y, &x, &y, &state);
  return Point{root_x, root_y};
}

void SyntheticEvents::set_cursor_position(Point point) {
  XWarpPointer(x_.display, None, x_.root, 0, 0, 0, 0, point.x, point.y);
  XFlush(x_.display);
}

void SyntheticEvents::left_button(bool up) {
  XTestFakeButtonEvent(x_.display, Button1, up ? False : True, CurrentTime);
  XFlush(x_.display);
}

Time SyntheticEvents::server_time() {
  // Appending nothing to a property still reports the change, with the server's time.
  XChangeProperty(x_.display, x_.helper, x_.atoms.timestamp_property, XA_STRING, 8, PropModeAppend,
                  nullptr, 0);
  XEvent e;
  if (loop_.take_property_change(x_.helper, x_.atoms.timestamp_property, false,
                                 EventLoop::Clock::now() + std::chrono::seconds(1), e)) {
    return e.xproperty.time;
  }
  return CurrentTime;
}

void SyntheticEvents::send_right_double_click(Window window) {
  if (window == None) {
    return;
  }
  // Two clicks of the right button at the window's corner, a millisecond apart,
  // which is how a double click reaches a window.
  int root_x = 0, root_y = 0;
  Window child = None;
  bool there = false;
  {
    ErrorTrap trap(x_.display);
    there = XTranslateCoordinates(x_.display, window, x_.root, 0, 0, &root_x, &root_y, &child) &&
            !trap.failed();
  }
  if (!there) {
    return; // no such window: nothing to send, as the system does
  }
  const Time start = server_time();
  for (int i = 0; i < 4; ++i) {
    const bool press = i % 2 == 0;
    XEvent e{};
    e.xbutton = addressed<XButtonEvent>(
        x_, press ? ButtonPress : ButtonRelease, window,
        start == CurrentTime ? CurrentTime : start + static_cast<Time>(i), press ? 0 : Button3Mask);
    e.xbutton.x_root = root_x;
    e.xbutton.y_root = root_y;
    e.xbutton.button = Button3;
    XSendEvent(x_.display, window, False, press ? ButtonPressMask : ButtonReleaseMask, &e);
  }
  XSync(x_.display, False);
}

void SyntheticEvents::post_character(Window window, std::uint8_t code) {
  if (window == None) {
    return;
  }
  const char32_t ch = western_char(code);
  std::optional<std::uint32_t> keycode;
  unsigned modifiers = 0;
  if (const KeySym control = control_keysym(ch); control != NoSymbol) {
    keycode = keyboard_.keycode_for_keysym(static_cast<KeySym32>(control));
  } else if (const std::optional<KeyChoice> choice = keyboard_.key_for_posting(ch)) {
    keycode = choice->keycode;
    modifiers = choice->modifiers;
  }
  if (!keycode) {
    return;
  }
  XkbStateRec xkb{};
  XkbGetState(x_.display, XkbUseCoreKbd, &xkb);
  const unsigned state = ((modifiers & kShift) ? ShiftMask : 0u) |
                         ((modifiers & kAltGr) ? keyboard_.level3() : 0u) |
                         // Caps Lock as the map was read with, which the levels allow for.
                         XkbBuildCoreState(keyboard_.map_caps_lock() ? LockMask : 0u, xkb.group);
  {
    ErrorTrap trap(x_.display);
    for (const bool press : {true, false}) {
      XEvent e{};
      e.xkey = addressed<XKeyEvent>(x_, press ? KeyPress : KeyRelease, window, CurrentTime, state);
      e.xkey.keycode = *keycode;
      XSendEvent(x_.display, window, False, press ? KeyPressMask : KeyReleaseMask, &e);
    }
  }
  keyboard_.note_posted(*keycode);
}

} // namespace teclix::x11
