#include "typing/countdown.h"

namespace teclix {

void PasteCountdown::start(std::u16string text, Clock::time_point now) {
  text_ = std::move(text);
  due_ = now + std::chrono::seconds(kSeconds);
  shown_ = 0;
}

void PasteCountdown::stop() {
  text_.reset();
}

int PasteCountdown::seconds_left(Clock::time_point now) const {
  if (now >= due_) {
    return 0;
  }
  return static_cast<int>(std::chrono::ceil<std::chrono::seconds>(due_ - now).count());
}

PasteCountdown::Clock::time_point PasteCountdown::next_change(Clock::time_point now) const {
  const int left = seconds_left(now);
  return left <= 0 ? now : due_ - std::chrono::seconds(left - 1);
}

std::optional<int> PasteCountdown::new_number(Clock::time_point now) {
  const int left = seconds_left(now);
  if (!running() || left == 0 || left == shown_) {
    return std::nullopt;
  }
  shown_ = left;
  return left;
}

std::u16string PasteCountdown::take() {
  std::u16string text = text_ ? std::move(*text_) : std::u16string();
  text_.reset();
  return text;
}

} // namespace teclix
