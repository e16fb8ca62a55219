// Waiting on the X connection: for an event, for a reply until a deadline, and for
// the program's own deadlines, one list shared by the main window and the boxes.
#pragma once

#include <chrono>
#include <functional>
#include <vector>

#include <X11/Xlib.h>

namespace teclix::x11 {

// From now on SIGTERM, SIGINT and SIGHUP ask the program to end as if its window
// were closed (so that what it holds, keycodes lent for a paste, goes back):
// the wait for events returns, and stop_requested() says so.
void catch_stop_signals();
bool stop_requested();

class EventLoop {
public:
  using Clock = std::chrono::steady_clock;
  using Predicate = Bool (*)(Display *, XEvent *, XPointer);

  // The program's deadlines; each has at most one time set.
  enum class Deadline { kGiveBackKeys, kHotkeyCheck };

  explicit EventLoop(Display *display) : display_(display) {}

  // Runs action once at when (or as soon as the program waits after it); replaces
  // what was set for the same deadline before.
  void set(Deadline deadline, Clock::time_point when, std::function<void()> action);
  void cancel(Deadline deadline);
  // Runs action each time the program is about to wait (for events, or in a box).
  void before_waiting(std::function<void()> action) { before_waiting_ = std::move(action); }
  // Runs readable whenever fd has data (or has hung up), in every wait; when it
  // returns true the wait for events returns too (something for the program to
  // look at). A descriptor closed while watched is no longer watched.
  void watch(int fd, std::function<bool()> readable);
  void unwatch(int fd);

  // Blocks until an event is queued, running the deadlines that come due meanwhile;
  // returns at until when nothing came before, or once the program is asked to end.
  void wait(Clock::time_point until = Clock::time_point::max());
  // Takes the first queued event that matches, waiting for one until the deadline
  // (deadlines of the program are not run). False when none came in time.
  bool take_event(Predicate predicate, XPointer arg, Clock::time_point until, XEvent &out);
  // Takes a change of a window's property (only a new value, when asked), waiting
  // for one until the deadline.
  bool take_property_change(Window window, Atom property, bool new_value_only,
                            Clock::time_point until, XEvent &out);
  // Takes the first event that matches, waiting as long as it takes and running
  // the program's deadlines that come due meanwhile (a modal box's loop).
  void take_event(Predicate predicate, XPointer arg, XEvent &out);

private:
  struct Pending {
    Deadline deadline;
    Clock::time_point when;
    std::function<void()> action;
  };
  // Runs every deadline that is due; returns the time to the next one in ms, or -1.
  int run_due();
  // Waits until the connection has data or timeout_ms pass (-1: no limit).
  void poll_connection(int timeout_ms);

  struct Watched {
    int fd;
    std::function<bool()> readable;
  };

  Display *display_;
  std::vector<Pending> pending_;
  std::vector<Watched> watched_;
  bool woken_ = false;
  std::function<void()> before_waiting_;
};

} // namespace teclix::x11
