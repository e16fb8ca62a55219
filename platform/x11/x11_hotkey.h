// The global hotkey: a passive grab of one key on the root window.
#pragma once

#include <X11/Xlib.h>

#include "platform/platform.h"
#include "platform/x11/x11_connection.h"

namespace teclix::x11 {

class Hotkey {
public:
  explicit Hotkey(const Connection &connection) : x_(connection) {}
  ~Hotkey() { release(); }
  Hotkey(const Hotkey &) = delete;
  Hotkey &operator=(const Hotkey &) = delete;

  // Grabs the key with exactly these X modifiers, whatever Caps Lock and NumLock
  // say. Fails when another client holds it (the reason goes to standard error).
  CallResult grab(KeySym keysym, unsigned modifiers);
  void release();
  // Removes at most one press of the key from the queue; true if one was removed.
  bool take_press();
  unsigned keycode() const { return keycode_; }
  unsigned modifiers() const { return modifiers_; }
  // The server time of the last press taken.
  Time last_press() const { return last_press_; }

private:
  // The grab for each state of Caps Lock and NumLock, which are part of the X key state.
  template <typename F> void for_each_lock_state(F request);

  const Connection &x_;
  unsigned keycode_ = 0;
  unsigned modifiers_ = 0;
  bool held_ = false;
  Time last_press_ = CurrentTime;
};

} // namespace teclix::x11
