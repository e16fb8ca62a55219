// The focused window in the layout tree that sway's IPC sends (GET_TREE), read
// from its JSON text. Nothing here talks to sway.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace teclix::wayland {

struct SwayWindow {
  std::int64_t id = 0;      // sway's container id
  std::string app_id;       // a Wayland window's app_id
  std::string x11_class;    // an X11 window's WM_CLASS class
  std::string x11_instance; // ... and instance
  std::string title;
  bool xwayland = false; // an X11 window, through Xwayland
  std::uint64_t x11_window = 0;
};

// The focused node's window; nullopt when the focus is on no window (an empty
// workspace) or the text is not a tree.
std::optional<SwayWindow> focused_window(std::string_view tree_json);

} // namespace teclix::wayland
