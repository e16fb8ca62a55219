// The global hotkey: a passive grab of one key on the root window.
#include "platform/x11/x11_hotkey.h"

#include <cstdio>
#include <string>

#include <X11/XKBlib.h>
#include <X11/keysym.h>

#include "typing/unicode.h"

namespace teclix::x11 {

namespace {

Bool is_press_of(Display *, XEvent *e, XPointer arg) {
  return e->type == KeyPress && e->xkey.keycode == *reinterpret_cast<const unsigned *>(arg);
}

} // namespace

template <typename F> void Hotkey::for_each_lock_state(F request) {
  unsigned num_lock = XkbKeysymToModifiers(x_.display, XK_Num_Lock);
  if (num_lock == 0) {
    num_lock = Mod2Mask;
  }
  for (unsigned locks : {0u, unsigned{LockMask}, num_lock, LockMask | num_lock}) {
    request(static_cast<int>(keycode_), modifiers_ | locks);
  }
}

CallResult Hotkey::grab(KeySym keysym, unsigned modifiers) {
  keycode_ = XKeysymToKeycode(x_.display, keysym);
  modifiers_ = modifiers;
  if (keycode_ == 0) {
    return CallResult{false, u"XKeysymToKeycode: ninguna tecla del teclado produce esa tecla"};
  }
  int error = 0;
  {
    ErrorTrap trap(x_.display);
    for_each_lock_state([this](int keycode, unsigned mods) {
      XGrabKey(x_.display, keycode, mods, x_.root, True, GrabModeAsync, GrabModeAsync);
    });
    error = trap.error_code();
    if (error != 0) {
      // Whatever part of it was granted goes back.
      for_each_lock_state(
          [this](int keycode, unsigned mods) { XUngrabKey(x_.display, keycode, mods, x_.root); });
    }
  }
  if (error != 0) {
    const std::string reason = "XGrabKey: " + x_error_text(x_.display, error);
    std::fprintf(stderr,
                 "teclix: la tecla F10 está ocupada por otro programa; Teclix no puede pegar "
                 "con ella (%s)\n",
                 reason.c_str());
    return CallResult{false, utf8_to_utf16(reason)};
  }
  held_ = true;
  return CallResult{};
}

void Hotkey::release() {
  if (!held_) {
    return;
  }
  for_each_lock_state(
      [this](int keycode, unsigned mods) { XUngrabKey(x_.display, keycode, mods, x_.root); });
  XFlush(x_.display);
  held_ = false;
}

bool Hotkey::take_press() {
  if (!held_) {
    return false;
  }
  XEvent e;
  if (!XCheckIfEvent(x_.display, &e, is_press_of, reinterpret_cast<XPointer>(&keycode_))) {
    return false;
  }
  last_press_ = e.xkey.time;
  // The press started a keyboard grab that lasts until the key is released; end it
  // now, or the keys about to be typed would come back to this program.
  XUngrabKeyboard(x_.display, CurrentTime);
  XFlush(x_.display);
  return true;
}

} // namespace teclix::x11
