// Synthetic events for the automation helpers: the pointer and its left button,
// a right double click sent to a window, and characters posted to a window.
#pragma once

#include <cstdint>

#include <X11/Xlib.h>

#include "platform/platform.h"
#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_event_loop.h"
#include "platform/x11/x11_keyboard.h"

namespace teclix::x11 {

class SyntheticEvents {
public:
  SyntheticEvents(const Connection &connection, EventLoop &loop, Keyboard &keyboard)
      : x_(connection), loop_(loop), keyboard_(keyboard) {}

  Point cursor_position();
  void set_cursor_position(Point point);
  void left_button(bool up);
  void send_right_double_click(Window window);
  // Sends the key press and release that type a Western (Windows-1252) code.
  void post_character(Window window, std::uint8_t code);

private:
  // A timestamp from the server, for events sent to other windows.
  Time server_time();

  const Connection &x_;
  EventLoop &loop_;
  Keyboard &keyboard_;
};

} // namespace teclix::x11
