#include "platform/wayland/key_pace.h"

#include <cstdio>
#include <thread>

namespace teclix::wayland {

KeyPace::KeyPace(std::size_t batch) : KeyPace(batch, Time{}) {}

KeyPace::KeyPace(std::size_t batch, Time time) : batch_(batch), time_(std::move(time)) {
  if (!time_.sleep_until) {
    time_.sleep_until = [](Clock::time_point t) { std::this_thread::sleep_until(t); };
  }
}

void KeyPace::start(ClientQueues queues, std::function<bool()> keep_typing) {
  queues_ = std::move(queues);
  keep_typing_ = std::move(keep_typing);
  gave_up_ = false;
  std::optional<std::vector<ClientQueue>> now;
  if (queues_) {
    now = queues_();
  }
  readable_ = now.has_value();
  at_start_ = now ? std::move(*now) : std::vector<ClientQueue>{};
  started_ = time_.now();
  sent_ = 0;
  waited_ = {};
}

bool KeyPace::behind(const std::vector<ClientQueue> &now) const {
  for (const ClientQueue &queue : now) {
    std::uint32_t before = 0;
    for (const ClientQueue &start : at_start_) {
      if (start.socket == queue.socket) {
        before = start.held;
      }
    }
    // Behind: a quarter of the room taken since the start, or half of it in
    // all when the client has taken any of ours.
    if (queue.held > before &&
        (queue.held - before > queue.limit / 4 || queue.held > queue.limit / 2)) {
      return true;
    }
  }
  return false;
}

bool KeyPace::before_event(const std::function<void()> &send) {
  if (gave_up_) {
    return false;
  }
  if (sent_++ % batch_ != 0 || sent_ == 1) {
    return true;
  }
  send();
  if (!readable_) {
    if (sent_ > kBurst) {
      const auto due =
          started_ + std::chrono::microseconds((sent_ - kBurst) * 1'000'000 / kPerSecond);
      if (time_.now() < due) {
        time_.sleep_until(due);
      }
    }
    return true;
  }
  const Clock::time_point since = time_.now();
  std::optional<std::vector<ClientQueue>> now = queues_();
  if (!now) {
    readable_ = false; // at the rate from here on
    return true;
  }
  Clock::time_point asked = since;
  while (now && behind(*now)) {
    const Clock::time_point t = time_.now();
    if (t - asked >= kAsk) {
      asked = t;
      gave_up_ = keep_typing_ && !keep_typing_();
    }
    if (gave_up_ || t - since >= kGiveUp) {
      waited_ += t - since;
      gave_up_ = true;
      return false;
    }
    time_.sleep_until(t + kLook);
    now = queues_();
  }
  waited_ += time_.now() - since;
  return true;
}

void KeyPace::report() {
  using std::chrono::duration_cast;
  using std::chrono::milliseconds;
  if (waited_ >= milliseconds(100) || gave_up_) {
    std::fprintf(stderr,
                 "teclix: la ventana de destino tardó en leer las teclas: %lld ms de espera%s\n",
                 static_cast<long long>(duration_cast<milliseconds>(waited_).count()),
                 gave_up_ ? "; no se teclea el resto" : "");
  }
  waited_ = {};
  gave_up_ = false;
}

} // namespace teclix::wayland
