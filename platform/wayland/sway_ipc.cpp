#include "platform/wayland/sway_ipc.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace teclix::wayland {

namespace {

constexpr char kMagic[] = {'i', '3', '-', 'i', 'p', 'c'};
constexpr unsigned kGetTree = 4;
// sway answers at once; this bounds a stuck one.
constexpr int kReplyWaitMs = 1000;
constexpr std::uint32_t kMaxReply = 64u << 20;

bool write_all(int fd, const char *data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
    if (n <= 0) {
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool read_all(int fd, char *data, std::size_t size) {
  while (size > 0) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, kReplyWaitMs) <= 0) {
      return false;
    }
    const ssize_t n = read(fd, data, size);
    if (n <= 0) {
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

} // namespace

SwayIpc::SwayIpc() {
  if (const char *path = std::getenv("SWAYSOCK"); path && *path) {
    path_ = path;
  }
}

std::optional<std::string> SwayIpc::request(unsigned type, const std::string &payload) {
  sockaddr_un address{};
  if (path_.size() >= sizeof address.sun_path) {
    return std::nullopt;
  }
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path_.c_str(), path_.size() + 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    return std::nullopt;
  }
  std::optional<std::string> reply;
  if (connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0) {
    std::string message(kMagic, sizeof kMagic);
    const std::uint32_t header[2] = {static_cast<std::uint32_t>(payload.size()), type};
    message.append(reinterpret_cast<const char *>(header), sizeof header);
    message += payload;
    char head[sizeof kMagic + 8];
    if (write_all(fd, message.data(), message.size()) && read_all(fd, head, sizeof head) &&
        std::memcmp(head, kMagic, sizeof kMagic) == 0) {
      std::uint32_t size = 0;
      std::memcpy(&size, head + sizeof kMagic, sizeof size);
      if (size <= kMaxReply) {
        std::string body(size, '\0');
        if (read_all(fd, body.data(), size)) {
          reply = std::move(body);
        }
      }
    }
  }
  close(fd);
  return reply;
}

std::optional<SwayWindow> SwayIpc::focused() {
  std::optional<std::string> tree = request(kGetTree, "");
  if (!tree) {
    path_.clear();
    return std::nullopt;
  }
  return focused_window(*tree);
}

} // namespace teclix::wayland
