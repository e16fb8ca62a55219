// The connection to the X server: the display, the atoms the backend uses, a hidden
// window for replies, and a scoped trap for the X errors of a few requests.
#pragma once

#include <memory>
#include <string>

#include <X11/Xlib.h>

namespace teclix::x11 {

struct Atoms {
  Atom clipboard, utf8_string, incr, targets;
  Atom clipboard_utf8, clipboard_string; // where the clipboard's answers in each form go
  Atom wm_protocols, wm_delete_window, net_active_window, net_client_list, net_wm_name, net_wm_icon;
  Atom timestamp_property;
  Atom net_wm_window_type, net_wm_window_type_dialog, net_wm_state, net_wm_state_modal;
};

class Connection {
public:
  // Connects to the display (nullptr: $DISPLAY) and checks for the extensions the
  // backend needs. On failure returns nullptr and sets error to a message for the user.
  static std::unique_ptr<Connection> open(const char *display_name, std::string &error);
  ~Connection();
  Connection(const Connection &) = delete;
  Connection &operator=(const Connection &) = delete;

  Display *const display;
  const Window root;
  const int screen;
  const Atoms atoms;
  // An input-only window that receives selection data and property changes.
  const Window helper;

private:
  explicit Connection(Display *display);
};

// Catches the X errors of the requests made while it lives, instead of reporting
// them, and puts the previous error handler back when it ends. The innermost trap
// gets the errors. With a null display it does not sync (for tests).
class ErrorTrap {
public:
  explicit ErrorTrap(Display *display);
  ~ErrorTrap();
  ErrorTrap(const ErrorTrap &) = delete;
  ErrorTrap &operator=(const ErrorTrap &) = delete;

  // Waits for the server to handle every request so far; the first error's code, or 0.
  int error_code();
  bool failed() { return error_code() != 0; }

private:
  static int on_error(Display *display, XErrorEvent *error);

  Display *display_;
  ErrorTrap *outer_;
  int (*previous_)(Display *, XErrorEvent *);
  int code_ = 0;
};

// The server's description of an X error code.
std::string x_error_text(Display *display, int code);

} // namespace teclix::x11
