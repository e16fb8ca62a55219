// Tells when a press of the hotkey went to another client. A client that grabs the
// whole keyboard (a virtual machine's window once clicked into) gets every key, F10
// included, before a passive grab can. XInput 2.1 and later deliver raw key events
// to the root window whatever grab is active, so a raw press of the key that never
// arrived as the hotkey was taken by someone else.
#pragma once

#include <deque>
#include <functional>

#include <X11/Xlib.h>

#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_event_loop.h"

namespace teclix::x11 {

class HotkeyWatch {
public:
  HotkeyWatch(const Connection &connection, EventLoop &loop) : x_(connection), loop_(loop) {}
  ~HotkeyWatch() { stop(); }
  HotkeyWatch(const HotkeyWatch &) = delete;
  HotkeyWatch &operator=(const HotkeyWatch &) = delete;

  // Listens for raw presses of the key (pressed with none of modifiers' keys down);
  // taken runs for each one that did not reach the grab. False when the server has
  // no XInput 2.1.
  bool start(unsigned keycode, unsigned modifiers, std::function<void()> taken);
  void stop();
  // While paused (the program types), raw events are not asked for: its own keys
  // would all come back.
  void pause(bool paused);
  // Handles an XInput event; false when the event is not one.
  bool handle(XEvent &e);
  // The grab took a press of the key at this server time.
  void reached(Time time);

private:
  void select(bool on);
  // Decides on the presses seen a while ago.
  void check();
  bool queued_as_hotkey(Time time);

  const Connection &x_;
  EventLoop &loop_;
  int opcode_ = -1;
  unsigned keycode_ = 0;
  unsigned modifiers_ = 0;
  bool on_ = false;
  std::function<void()> taken_;
  std::deque<Time> seen_;    // raw presses not yet decided on
  std::deque<Time> reached_; // presses the grab took, most recent last
};

} // namespace teclix::x11
