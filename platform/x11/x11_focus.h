// Where the keyboard focus is: the focused window, and the top-level window of the
// program it belongs to.
#pragma once

#include <optional>

#include <X11/Xlib.h>

#include "platform/platform.h"
#include "platform/x11/x11_connection.h"

namespace teclix::x11 {

// The window manager's active window (_NET_ACTIVE_WINDOW): None when it says
// none is (a Wayland compositor's X11 window manager, while a Wayland window has
// the focus); nullopt when it does not say.
std::optional<Window> active_window(const Connection &x);
// Whether the window manager lists window among its clients (_NET_CLIENT_LIST);
// nullopt when it keeps no list. A Wayland compositor's window manager may park
// the X focus on a window of its own, which it does not list, while a Wayland
// window has the focus (mutter does).
std::optional<bool> listed_client(const Connection &x, Window window);
// The focused window: the window manager's active window, else the X focus (the
// window under the pointer when the focus follows it); None when there is none.
Window focused_window(const Connection &x);
// The program, class and title of the window with WM_CLASS at or above window: the
// program's top level.
TargetWindow top_level_of(const Connection &x, Window window);

} // namespace teclix::x11
