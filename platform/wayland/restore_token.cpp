#include "platform/wayland/restore_token.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace teclix::wayland {

namespace {

// Portals hand out UUIDs and similar short names.
constexpr std::size_t kLongestToken = 256;

bool token_character(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_' || c == '.';
}

// Makes each missing directory of path's parent, owner-only.
bool make_parents(const std::string &path, std::string &why) {
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    const std::string dir = path.substr(0, slash);
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
      why = dir + ": " + std::strerror(errno);
      return false;
    }
  }
  return true;
}

} // namespace

std::string restore_token_path() {
  const char *state = std::getenv("XDG_STATE_HOME");
  const char *home = std::getenv("HOME");
  const std::string base =
      state && *state == '/' ? state : std::string(home ? home : ".") + "/.local/state";
  return base + "/teclix/restore-token";
}

std::string read_restore_token(const std::string &path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) {
    return {};
  }
  char text[kLongestToken + 2];
  const ssize_t size = read(fd, text, sizeof text);
  close(fd);
  if (size <= 0 || static_cast<std::size_t>(size) > kLongestToken + 1) {
    return {};
  }
  std::string token(text, static_cast<std::size_t>(size));
  if (token.back() == '\n') {
    token.pop_back();
  }
  for (char c : token) {
    if (!token_character(c)) {
      return {};
    }
  }
  return token;
}

bool write_restore_token(const std::string &path, const std::string &token, std::string &why) {
  if (!make_parents(path, why)) {
    return false;
  }
  const std::string temporary = path + ".new";
  unlink(temporary.c_str()); // left by a run that ended before renaming it
  const int fd =
      open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    why = temporary + ": " + std::strerror(errno);
    return false;
  }
  const std::string line = token + "\n";
  const bool written = write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
  const int saved = errno;
  if (close(fd) != 0 || !written || std::rename(temporary.c_str(), path.c_str()) != 0) {
    why = path + ": " + std::strerror(written ? errno : saved);
    unlink(temporary.c_str());
    return false;
  }
  return true;
}

} // namespace teclix::wayland
