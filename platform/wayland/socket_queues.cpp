#include "platform/wayland/socket_queues.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/sock_diag.h>
#include <linux/unix_diag.h>
#include <set>
#include <sys/socket.h>
#include <unistd.h>

namespace teclix::wayland {

std::string compositor_socket_path() {
  const char *display = std::getenv("WAYLAND_DISPLAY");
  if (!display || !*display) {
    return {};
  }
  if (display[0] == '/') {
    return display;
  }
  const char *runtime = std::getenv("XDG_RUNTIME_DIR");
  return runtime ? std::string(runtime) + "/" + display : std::string();
}

namespace {

struct Fd {
  int fd;
  ~Fd() {
    if (fd >= 0) {
      close(fd);
    }
  }
};

// The sockets this process holds (its own connections to the compositor among them).
std::set<std::uint32_t> own_sockets() {
  std::set<std::uint32_t> own;
  if (DIR *dir = opendir("/proc/self/fd")) {
    while (const dirent *fd = readdir(dir)) {
      char target[64];
      const std::string link = std::string("/proc/self/fd/") + fd->d_name;
      const ssize_t size = readlink(link.c_str(), target, sizeof target - 1);
      unsigned long inode = 0;
      if (size > 0 && (target[size] = '\0', std::sscanf(target, "socket:[%lu]", &inode) == 1)) {
        own.insert(static_cast<std::uint32_t>(inode));
      }
    }
    closedir(dir);
  }
  return own;
}

// One socket's entry: its queue when it carries path and leads to another process.
std::optional<ClientQueue> entry(const nlmsghdr *header, const std::string &path,
                                 const std::set<std::uint32_t> &own) {
  const auto *message = static_cast<const unix_diag_msg *>(NLMSG_DATA(header));
  int length = static_cast<int>(header->nlmsg_len - NLMSG_LENGTH(sizeof(*message)));
  bool named = false;
  std::optional<ClientQueue> queue;
  for (auto *attr = reinterpret_cast<const rtattr *>(message + 1); RTA_OK(attr, length);
       attr = RTA_NEXT(attr, length)) {
    const auto *data = static_cast<const char *>(RTA_DATA(attr));
    std::size_t size = RTA_PAYLOAD(attr);
    if (attr->rta_type == UNIX_DIAG_NAME) {
      if (size > 1 && data[0] != '\0' && data[size - 1] == '\0') {
        --size; // a path's name ends in its terminator
      }
      named = size == path.size() && std::memcmp(data, path.data(), size) == 0;
    } else if (attr->rta_type == UNIX_DIAG_PEER && size >= 4) {
      std::uint32_t peer;
      std::memcpy(&peer, data, sizeof peer);
      if (own.count(peer)) {
        return std::nullopt; // this program's own connection: it reads it when it can
      }
    } else if (attr->rta_type == UNIX_DIAG_MEMINFO && size >= SK_MEMINFO_SNDBUF * 4 + 4) {
      std::uint32_t info[SK_MEMINFO_SNDBUF + 1];
      std::memcpy(info, data, sizeof info);
      queue = ClientQueue{message->udiag_ino, info[SK_MEMINFO_WMEM_ALLOC], info[SK_MEMINFO_SNDBUF]};
    }
  }
  if (!named) {
    return std::nullopt;
  }
  return queue;
}

} // namespace

std::optional<std::vector<ClientQueue>> read_client_queues(const std::string &path) {
  if (path.empty()) {
    return std::nullopt;
  }
  Fd sock{socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG)};
  if (sock.fd < 0) {
    return std::nullopt;
  }
  struct {
    nlmsghdr header;
    unix_diag_req request;
  } ask{};
  ask.header.nlmsg_len = sizeof ask;
  ask.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
  ask.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
  ask.request.sdiag_family = AF_UNIX;
  ask.request.udiag_states = 1u << 1; // connected
  ask.request.udiag_show = UDIAG_SHOW_NAME | UDIAG_SHOW_PEER | UDIAG_SHOW_MEMINFO;
  if (send(sock.fd, &ask, sizeof ask, 0) != static_cast<ssize_t>(sizeof ask)) {
    return std::nullopt;
  }
  const std::set<std::uint32_t> own = own_sockets();
  std::vector<ClientQueue> queues;
  alignas(nlmsghdr) char buffer[16384];
  while (true) {
    ssize_t got = recv(sock.fd, buffer, sizeof buffer, 0);
    if (got <= 0) {
      return std::nullopt;
    }
    for (auto *header = reinterpret_cast<nlmsghdr *>(buffer); NLMSG_OK(header, got);
         header = NLMSG_NEXT(header, got)) {
      if (header->nlmsg_type == NLMSG_DONE) {
        return queues;
      }
      if (header->nlmsg_type == NLMSG_ERROR) {
        return std::nullopt;
      }
      if (std::optional<ClientQueue> queue = entry(header, path, own)) {
        queues.push_back(*queue);
      }
    }
  }
}

} // namespace teclix::wayland
