#include "helpers/automation.h"

#include <array>
#include <limits>

#include "typing/runtime_error.h"

namespace teclix {

void click_at(const Platform &platform, std::int32_t X, std::int32_t Y, Point &saved) {
  saved = platform.automation.cursor_position();
  platform.automation.set_cursor_position(Point{X, Y});
  platform.automation.left_button(false);
  platform.automation.left_button(true);
  platform.automation.set_cursor_position(saved);
}

void right_double_click(const Platform &platform, WindowHandle Handle) {
  platform.automation.send_right_double_click(Handle);
  platform.window.pump_events();
}

void post_text(const Platform &platform, WindowHandle window, const std::u16string &text,
               std::uint8_t &last_code) {
  if (text.size() > static_cast<std::size_t>(std::numeric_limits<std::int16_t>::max())) {
    throw overflow_error();
  }
  for (char16_t ch : text) {
    last_code = platform.automation.post_code(ch);
    if (last_code != 10) {
      platform.automation.post_character(window, last_code);
    }
  }
}

std::int16_t question_box(const Platform &platform, const std::u16string &prompt,
                          std::int16_t option, const std::u16string &title) {
  const int style = option + 32;
  if (style > std::numeric_limits<std::int16_t>::max()) {
    throw overflow_error();
  }
  return static_cast<std::int16_t>(
      answer_code(platform.boxes.message_box(prompt, title, message_box_style(style))));
}

int answer_code(BoxAnswer answer) {
  // IDOK (1) to IDNO (7), in the enum's order.
  return static_cast<int>(answer) + 1;
}

MessageBoxStyle message_box_style(int standard) {
  MessageBoxStyle style;
  const int buttons = standard & 0xF;
  if (buttons <= static_cast<int>(MessageBoxButtons::kRetryCancel)) {
    style.buttons = static_cast<MessageBoxButtons>(buttons);
  }
  const int icon = (standard >> 4) & 0xF;
  if (icon <= static_cast<int>(MessageBoxIcon::kInformation)) {
    style.icon = static_cast<MessageBoxIcon>(icon);
  }
  style.default_button = (standard >> 8) & 0x3;
  return style;
}

int standard_style(const MessageBoxStyle &style) {
  return static_cast<int>(style.buttons) | static_cast<int>(style.icon) << 4 |
         style.default_button << 8;
}

double divide(std::int32_t arg1, std::int32_t arg2) {
  if (arg2 == 0) {
    throw arg1 == 0 ? overflow_error() : division_by_zero_error();
  }
  return static_cast<double>(arg1) / static_cast<double>(arg2);
}

std::int32_t multiply(std::int32_t arg1, std::int32_t arg2) {
  const std::int64_t product = static_cast<std::int64_t>(arg1) * arg2;
  if (product < std::numeric_limits<std::int32_t>::min() ||
      product > std::numeric_limits<std::int32_t>::max()) {
    throw overflow_error();
  }
  return static_cast<std::int32_t>(product);
}

} // namespace teclix
