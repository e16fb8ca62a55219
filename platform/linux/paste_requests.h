// "teclix --paste": another process asks the running Teclix to paste now, as
// F10 would, through a socket of the user's own under $XDG_RUNTIME_DIR. Where
// no program can take F10 for itself (Wayland), the desktop's own shortcut runs
// the command.
#pragma once

#include <string>

namespace teclix {

class PasteRequests {
public:
  PasteRequests() = default;
  ~PasteRequests();
  PasteRequests(const PasteRequests &) = delete;
  PasteRequests &operator=(const PasteRequests &) = delete;

  // Starts listening; false when there is no runtime directory (a session
  // without one: "teclix --paste" says so itself), or, with the reason in why,
  // in Spanish, when another Teclix of this user already listens or the socket
  // cannot be made.
  bool listen(std::string &why);
  int fd() const { return fd_; }
  // Takes the requests waiting on the socket; true when one asked to paste.
  bool accept_requests();
  // Turns away the requests that came while a paste was being typed (each
  // command says so), as F10 presses then are: a shortcut pressed twice, or
  // held until it repeats, types the text once.
  void drop_requests();
  // Whether a paste was asked for since the last call.
  bool take() {
    const bool asked = asked_;
    asked_ = false;
    return asked;
  }

  // The command's side: asks the running Teclix to paste. Returns the exit
  // status; a failure is said on standard error.
  static int send_request();

private:
  int fd_ = -1;
  std::string path_;
  bool asked_ = false;
  // Answers each waiting request with answer; true when one asked to paste.
  bool answer_requests(const char *answer);
};

} // namespace teclix
