// The program's own message box on X11: a prompt, an icon and a row of Spanish
// buttons, modal, with the keyboard focus while it is open.
#pragma once

#include <functional>
#include <string>

#include <X11/Xlib.h>

#include "platform/platform.h"
#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_event_loop.h"

namespace teclix::x11 {

struct DialogSetup {
  Display *display = nullptr;
  const Atoms *atoms = nullptr; // the connection's; required
  int screen = 0;
  Window owner = None; // the main window, or None; the box is its transient and sits over it
  double dpi = 96.0;
  // Waits for the box's events; the program's deadlines keep running meanwhile.
  EventLoop *loop = nullptr; // required
  // Events for the owner that come in while the box is open (it should repaint;
  // its input is not taken, as a window under a modal box takes none).
  std::function<void(const XEvent &)> owner_event;
};

// Shows the box and returns the code of the button pressed (1 OK, 2 Cancel, ...).
// prompt and title are UTF-8; style names the buttons, the icon and the default button.
BoxAnswer run_message_box(const DialogSetup &setup, const std::string &prompt,
                          const std::string &title, const MessageBoxStyle &style);

// The window manager hints of the program's top-level windows: its class, input
// and normal state, and a fixed size placed at (x, y), so they cannot be resized.
void set_fixed_window_hints(Display *display, Window window, int x, int y, int width, int height);

} // namespace teclix::x11
