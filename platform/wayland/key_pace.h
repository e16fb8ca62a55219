// How fast keys go to a Wayland client. The compositor passes each key on to
// the focused client at once, and cuts a client off (it loses its windows) when
// the events waiting for it fill its socket, and nothing tells how far behind a
// client is: a GTK entry given 3,000 characters at full speed was cut off, under
// sway and under KWin alike, and 10,000 at 1,000 key events a second; at 500 a
// second it took them all. So after a burst that any client takes at once (a
// few hundred characters), keys go out at that rate.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>

namespace teclix::wayland {

class KeyPace {
public:
  using Clock = std::chrono::steady_clock;
  // Key events sent at once at the start of a paste.
  static constexpr std::size_t kBurst = 600;
  // Key events a second after that.
  static constexpr std::size_t kPerSecond = 500;

  void start() {
    started_ = Clock::now();
    sent_ = 0;
  }
  // Before each key event: when the paste has run ahead of the pace, sends what
  // is queued (flush) and waits until the event's time has come.
  void before_event(const std::function<void()> &flush);

private:
  Clock::time_point started_ = Clock::now();
  std::size_t sent_ = 0;
};

} // namespace teclix::wayland
