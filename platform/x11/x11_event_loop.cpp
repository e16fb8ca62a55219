// Waiting on the X connection: for an event, for a reply until a deadline, and for
// the program's own deadlines, one list shared by the main window and the boxes.
#include "platform/x11/x11_event_loop.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace teclix::x11 {

namespace {

// A signal to end wakes the wait through this pipe (a flag alone could be set
// just before poll() goes to sleep).
int g_stop_pipe[2] = {-1, -1};
volatile std::sig_atomic_t g_stop = 0;

void on_stop_signal(int) {
  g_stop = 1;
  if (g_stop_pipe[1] >= 0) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = write(g_stop_pipe[1], &byte, 1);
  }
}

int milliseconds_until(EventLoop::Clock::time_point when) {
  const auto left =
      std::chrono::ceil<std::chrono::milliseconds>(when - EventLoop::Clock::now()).count();
  return static_cast<int>(std::clamp<long long>(left, 0, INT_MAX));
}

} // namespace

void catch_stop_signals() {
  if (pipe2(g_stop_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    g_stop_pipe[0] = g_stop_pipe[1] = -1;
  }
  struct sigaction action {};
  action.sa_handler = on_stop_signal;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
    sigaction(signal, &action, nullptr);
  }
}

bool stop_requested() {
  return g_stop != 0;
}

void EventLoop::set(Deadline deadline, Clock::time_point when, std::function<void()> action) {
  cancel(deadline);
  pending_.push_back(Pending{deadline, when, std::move(action)});
}

void EventLoop::cancel(Deadline deadline) {
  std::erase_if(pending_, [deadline](const Pending &p) { return p.deadline == deadline; });
}

int EventLoop::run_due() {
  while (true) {
    const auto next =
        std::min_element(pending_.begin(), pending_.end(),
                         [](const auto &a, const auto &b) { return a.when < b.when; });
    if (next == pending_.end()) {
      return -1;
    }
    if (next->when > Clock::now()) {
      return milliseconds_until(next->when);
    }
    // The action may set deadlines again: take it out first.
    const std::function<void()> action = std::move(next->action);
    pending_.erase(next);
    action();
  }
}

// Only sleeps: the caller has flushed and looked at what came in. (Flushing can
// itself read events off the socket into Xlib's buffers, where poll() does not see
// them, so a flush between the last look and poll() could sleep on an event that
// is already here.)
void EventLoop::poll_connection(int timeout_ms) {
  std::vector<pollfd> fds = {{ConnectionNumber(display_), POLLIN, 0}};
  if (g_stop_pipe[0] >= 0) {
    fds.push_back({g_stop_pipe[0], POLLIN, 0});
  }
  const std::size_t first_watched = fds.size();
  for (const Watched &w : watched_) {
    fds.push_back({w.fd, POLLIN, 0});
  }
  if (poll(fds.data(), fds.size(), timeout_ms) < 0 && errno != EINTR) {
    std::fprintf(stderr, "teclix: poll en la conexión X: %s\n", std::strerror(errno));
    return;
  }
  for (std::size_t i = first_watched; i < fds.size(); ++i) {
    if (fds[i].revents == 0) {
      continue;
    }
    // The handler may unwatch: find it again by its descriptor.
    const auto found = std::find_if(watched_.begin(), watched_.end(),
                                    [fd = fds[i].fd](const Watched &w) { return w.fd == fd; });
    if (found == watched_.end()) {
      continue;
    }
    if (fds[i].revents & POLLNVAL) {
      watched_.erase(found); // closed without being unwatched: nothing more to read
      continue;
    }
    const std::function<bool()> readable = found->readable;
    woken_ = readable() || woken_;
  }
}

void EventLoop::watch(int fd, std::function<bool()> readable) {
  unwatch(fd);
  watched_.push_back(Watched{fd, std::move(readable)});
}

void EventLoop::unwatch(int fd) {
  std::erase_if(watched_, [fd](const Watched &w) { return w.fd == fd; });
}

void EventLoop::wait(Clock::time_point until) {
  if (before_waiting_) {
    before_waiting_();
  }
  while (!stop_requested()) {
    int timeout = run_due();                // its requests may bring events in
    if (XPending(display_) > 0 || woken_) { // flushes, then reads
      woken_ = false;
      return;
    }
    if (until != Clock::time_point::max()) {
      const int left = milliseconds_until(until);
      if (left == 0) {
        return;
      }
      timeout = timeout < 0 ? left : std::min(timeout, left);
    }
    poll_connection(timeout);
  }
}

bool EventLoop::take_event(Predicate predicate, XPointer arg, Clock::time_point until,
                           XEvent &out) {
  while (true) {
    XFlush(display_);
    if (XCheckIfEvent(display_, &out, predicate, arg)) { // reads what came in
      return true;
    }
    if (Clock::now() >= until) {
      return false;
    }
    poll_connection(milliseconds_until(until));
  }
}

bool EventLoop::take_property_change(Window window, Atom property, bool new_value_only,
                                     Clock::time_point until, XEvent &out) {
  struct Wanted {
    Window window;
    Atom property;
    bool new_value_only;
  } wanted{window, property, new_value_only};
  auto matches = [](Display *, XEvent *e, XPointer arg) -> Bool {
    const auto *w = reinterpret_cast<const Wanted *>(arg);
    return e->type == PropertyNotify && e->xproperty.window == w->window &&
           e->xproperty.atom == w->property &&
           (!w->new_value_only || e->xproperty.state == PropertyNewValue);
  };
  return take_event(matches, reinterpret_cast<XPointer>(&wanted), until, out);
}

void EventLoop::take_event(Predicate predicate, XPointer arg, XEvent &out) {
  if (before_waiting_) {
    before_waiting_();
  }
  while (true) {
    const int timeout = run_due();
    XFlush(display_);
    if (XCheckIfEvent(display_, &out, predicate, arg)) {
      return;
    }
    poll_connection(timeout);
  }
}

} // namespace teclix::x11
