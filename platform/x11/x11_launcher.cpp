// Opening a web address in the user's browser.
#include "platform/x11/x11_launcher.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace teclix::x11 {

void open_in_browser(const std::string &address) {
  // xdg-open runs in a grandchild, so that it is nobody's zombie and the window
  // never waits for the browser.
  const char *argv[] = {"xdg-open", address.c_str(), nullptr};
  const pid_t child = fork();
  if (child == 0) {
    if (fork() == 0) {
      const int null = ::open("/dev/null", O_RDWR);
      if (null >= 0) {
        dup2(null, STDIN_FILENO);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        if (null > STDERR_FILENO) {
          close(null);
        }
      }
      setsid();
      execvp(argv[0], const_cast<char *const *>(argv));
      _exit(127);
    }
    _exit(0);
  }
  if (child > 0) {
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
}

} // namespace teclix::x11
