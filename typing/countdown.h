// A paste started from the program's own window. The clipboard is read at once;
// the text is typed when the countdown reaches zero, into whatever has the focus
// then, so the user has time to click into a window that takes the whole keyboard
// (a virtual machine's), where F10 never reaches this program.
#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace teclix {

class PasteCountdown {
public:
  using Clock = std::chrono::steady_clock;
  static constexpr int kSeconds = 5;

  bool running() const { return text_.has_value(); }
  void start(std::u16string text, Clock::time_point now);
  void stop();
  // Whole seconds left, counted up: kSeconds at the start, 0 once it is due.
  int seconds_left(Clock::time_point now) const;
  // When seconds_left next changes.
  Clock::time_point next_change(Clock::time_point now) const;
  // The number to show now, once: nullopt when it was already shown (or the
  // countdown is over or not running).
  std::optional<int> new_number(Clock::time_point now);
  // The text read when the countdown started; stops the countdown.
  std::u16string take();

private:
  std::optional<std::u16string> text_;
  Clock::time_point due_{};
  int shown_ = 0;
};

} // namespace teclix
