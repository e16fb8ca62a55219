#include "platform/linux/paste_requests.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace teclix {

namespace {

constexpr char kRequest[] = "paste\n";
constexpr char kAnswer[] = "ok\n";
constexpr char kBusy[] = "busy\n"; // sizeof kBusy > sizeof kAnswer: the command reads either
// A client that connects says what it wants at once; this bounds one that does not.
constexpr int kRequestWaitMs = 200;
// How long the command waits for the running Teclix to answer.
constexpr int kAnswerWaitMs = 2000;

// The socket's path, or empty with the reason when there is no runtime directory.
std::string socket_path(std::string &why) {
  const char *dir = std::getenv("XDG_RUNTIME_DIR");
  if (!dir || !*dir) {
    why = "XDG_RUNTIME_DIR no está definido";
    return {};
  }
  struct stat info {};
  if (stat(dir, &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != getuid()) {
    why = std::string("el directorio ") + dir + " no es de este usuario";
    return {};
  }
  std::string path = std::string(dir) + "/teclix.sock";
  if (path.size() >= sizeof(sockaddr_un::sun_path)) {
    why = "la ruta del directorio XDG_RUNTIME_DIR es demasiado larga";
    return {};
  }
  return path;
}

sockaddr_un address_of(const std::string &path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return address;
}

// Connects to the socket at path; -1 when nothing listens there.
int connect_to(const std::string &path) {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    return -1;
  }
  const sockaddr_un address = address_of(path);
  if (connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

bool wait_readable(int fd, int timeout_ms) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, timeout_ms) > 0;
}

} // namespace

PasteRequests::~PasteRequests() {
  if (fd_ >= 0) {
    close(fd_);
    unlink(path_.c_str());
  }
}

bool PasteRequests::listen(std::string &why) {
  std::string no_directory;
  const std::string path = socket_path(no_directory);
  if (path.empty()) {
    return false;
  }
  if (const int other = connect_to(path); other >= 0) {
    close(other);
    why = "otro Teclix de este usuario ya atiende «teclix --paste»";
    return false;
  }
  unlink(path.c_str()); // left by a Teclix that ended without removing it
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  const sockaddr_un address = address_of(path);
  // Only this user may connect: the socket is made owner-only from the start.
  const mode_t old_mask = umask(0077);
  const bool bound =
      fd >= 0 && bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
  umask(old_mask);
  if (!bound || ::listen(fd, 8) != 0) {
    why = std::string("no se pudo abrir ") + path + ": " + std::strerror(errno);
    if (fd >= 0) {
      close(fd);
    }
    return false;
  }
  fd_ = fd;
  path_ = path;
  return true;
}

bool PasteRequests::accept_requests() {
  const bool asked = answer_requests(kAnswer);
  asked_ = asked_ || asked;
  return asked;
}

void PasteRequests::drop_requests() {
  if (fd_ >= 0) {
    answer_requests(kBusy);
  }
  asked_ = false;
}

bool PasteRequests::answer_requests(const char *answer) {
  const std::size_t length = std::strlen(answer);
  bool asked = false;
  while (true) {
    const int client = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) {
      break;
    }
    ucred peer{};
    socklen_t size = sizeof peer;
    char request[sizeof kRequest] = {};
    if (getsockopt(client, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == getuid() &&
        wait_readable(client, kRequestWaitMs) &&
        recv(client, request, sizeof request - 1, 0) == static_cast<ssize_t>(sizeof kRequest - 1) &&
        std::strcmp(request, kRequest) == 0) {
      // A command that gave up waiting (a long paste was being typed) is gone:
      // its request goes with it, as an F10 press during a paste does.
      asked = send(client, answer, length, MSG_NOSIGNAL) == static_cast<ssize_t>(length) || asked;
    }
    close(client);
  }
  return asked;
}

int PasteRequests::send_request() {
  std::string why;
  const std::string path = socket_path(why);
  if (path.empty()) {
    std::fprintf(stderr, "teclix: no se puede pedir que pegue: %s.\n", why.c_str());
    return 2;
  }
  const int fd = connect_to(path);
  if (fd < 0) {
    std::fprintf(stderr, "teclix: Teclix no está abierto: ábralo antes de pedirle que pegue.\n");
    return 1;
  }
  char answer[sizeof kBusy] = {};
  const bool answered = send(fd, kRequest, sizeof kRequest - 1, MSG_NOSIGNAL) ==
                            static_cast<ssize_t>(sizeof kRequest - 1) &&
                        wait_readable(fd, kAnswerWaitMs) &&
                        recv(fd, answer, sizeof answer - 1, MSG_WAITALL) > 0;
  close(fd);
  if (answered && std::strcmp(answer, kBusy) == 0) {
    std::fprintf(stderr,
                 "teclix: Teclix estaba tecleando otro pegado; esta petición se descarta.\n");
    return 1;
  }
  if (!answered || std::strcmp(answer, kAnswer) != 0) {
    std::fprintf(stderr, "teclix: Teclix no contestó: puede estar ocupado en otro pegado.\n");
    return 1;
  }
  return 0;
}

} // namespace teclix
