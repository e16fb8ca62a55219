// How fast keys go to a Wayland client. The compositor passes each key on to
// the focused client at once and cuts a client off (it loses its windows) when
// its socket is full and more must be written to it; nothing in the protocols
// says how far behind a client is. The kernel does: the compositor's socket to
// each client holds what the client has not read yet. So keys go out in
// batches, and after each batch, while a client has fallen further behind since
// the paste began than a quarter of its socket's room, the paste waits for it.
// Where that cannot be read, keys go out at a rate every client tried keeps up
// with, after a first burst.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace teclix::wayland {

// What the compositor has written to one client and the client has not read,
// and the most its socket holds, in the kernel's bytes (with their overhead).
struct ClientQueue {
  std::uint64_t socket = 0;
  std::uint32_t held = 0;
  std::uint32_t limit = 0;
};
using ClientQueues = std::function<std::optional<std::vector<ClientQueue>>()>;

class KeyPace {
public:
  using Clock = std::chrono::steady_clock;
  struct Time {
    std::function<Clock::time_point()> now = [] { return Clock::now(); };
    std::function<void(Clock::time_point)> sleep_until;
  };
  // Key events sent at once at the start of a paste, where the queues cannot be read.
  static constexpr std::size_t kBurst = 600;
  // Key events a second after that.
  static constexpr std::size_t kPerSecond = 500;
  // How long a client that reads nothing is waited for before the paste stops.
  static constexpr std::chrono::seconds kGiveUp{30};
  static constexpr std::chrono::milliseconds kLook{10};
  static constexpr std::chrono::milliseconds kAsk{250};

  // batch: key events between looks at the queues.
  explicit KeyPace(std::size_t batch);
  KeyPace(std::size_t batch, Time time);

  // queues reads the compositor's queues now (nullopt when it cannot);
  // keep_typing is asked now and then while a client is waited for.
  void start(ClientQueues queues, std::function<bool()> keep_typing = {});
  // Before each key event: at the end of a batch, sends what is queued (send)
  // and waits while a client is behind (or the rate is ahead). false from the
  // moment a client has been behind for kGiveUp, or keep_typing said no while
  // waiting: nothing more is typed in this paste.
  bool before_event(const std::function<void()> &send);
  bool gave_up() const { return gave_up_; }
  // Says on stderr how long the paste waited for a slow client, if it did, once.
  void report();

private:
  bool behind(const std::vector<ClientQueue> &now) const;

  std::size_t batch_;
  Time time_;
  ClientQueues queues_;
  std::function<bool()> keep_typing_;
  bool gave_up_ = false;
  std::vector<ClientQueue> at_start_;
  bool readable_ = false;
  Clock::time_point started_;
  std::size_t sent_ = 0;
  Clock::duration waited_{};
};

} // namespace teclix::wayland
