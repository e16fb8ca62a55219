#include "helpers/automation.h"

#include <array>
#include <limits>

#include "typing/runtime_error.h"

namespace teclix {

void click_at(Platform &platform, std::int32_t X, std::int32_t Y, Point &saved) {
  saved = platform.cursor_position();
  platform.set_cursor_position(Point{X, Y});
  platform.left_button(false);
  platform.left_button(true);
  platform.set_cursor_position(saved);
}

void right_double_click(Platform &platform, WindowHandle Handle) {
  platform.send_right_double_click(Handle);
  platform.pump_events();
}

void post_text(Platform &platform, WindowHandle hWnd, const std::u16string &text,
               std::uint8_t &Key) {
  if (text.size() > static_cast<std::size_t>(std::numeric_limits<std::int16_t>::max())) {
    throw overflow_error();
  }
  for (char16_t ch : text) {
    Key = platform.post_code(ch);
    if (Key != 10) {
      platform.post_character(hWnd, Key);
    }
  }
}

std::int16_t question_box(Platform &platform, const std::u16string &strMensaje,
                          std::int16_t intOpcion, const std::u16string &strTitulo) {
  const int style = intOpcion + 32;
  if (style > std::numeric_limits<std::int16_t>::max()) {
    throw overflow_error();
  }
  return static_cast<std::int16_t>(
      platform.message_box(strMensaje, strTitulo, message_box_style(style)));
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
