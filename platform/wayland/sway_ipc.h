// Asking sway, through its IPC socket ($SWAYSOCK), which window has the focus.
#pragma once

#include <optional>
#include <string>

#include "platform/wayland/sway_tree.h"

namespace teclix::wayland {

class SwayIpc {
public:
  // Uses $SWAYSOCK; available() is false without it.
  SwayIpc();
  bool available() const { return !path_.empty(); }
  // The focused window, nullopt for none (or when sway does not answer: then
  // available() turns false).
  std::optional<SwayWindow> focused();

private:
  std::optional<std::string> request(unsigned type, const std::string &payload);
  std::string path_;
};

} // namespace teclix::wayland
