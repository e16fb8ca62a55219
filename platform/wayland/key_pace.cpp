#include "platform/wayland/key_pace.h"

#include <thread>

namespace teclix::wayland {

void KeyPace::before_event(const std::function<void()> &flush) {
  if (sent_++ < kBurst) {
    return;
  }
  const auto due = started_ + std::chrono::microseconds((sent_ - kBurst) * 1'000'000 / kPerSecond);
  if (Clock::now() < due) {
    flush();
    std::this_thread::sleep_until(due);
  }
}

} // namespace teclix::wayland
