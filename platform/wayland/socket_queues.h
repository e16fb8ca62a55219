// The compositor's queues to its clients, from the kernel's table of Unix
// sockets (sock_diag): each connection the compositor accepted on its listening
// socket carries that socket's path, and its send queue is what the client has
// not read yet.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/wayland/key_pace.h"

namespace teclix::wayland {

// The path of the compositor's socket this session's clients connect to
// ($WAYLAND_DISPLAY, under $XDG_RUNTIME_DIR unless absolute); empty when unset.
std::string compositor_socket_path();

// The queues of every connection the compositor accepted at path, but this
// program's own; nullopt when the kernel does not tell (no sock_diag for Unix
// sockets).
std::optional<std::vector<ClientQueue>> read_client_queues(const std::string &path);

} // namespace teclix::wayland
