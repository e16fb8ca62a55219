// The buttons of a message box style, what closing the box answers and which
// button starts with the focus; apart from the X server.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace teclix::x11 {

struct DialogButton {
  std::string caption;               // UTF-8
  BoxAnswer result = BoxAnswer::kOk; // what the box returns when it is pressed
  bool operator==(const DialogButton &) const = default;
};
// The buttons of a message box, left to right.
std::vector<DialogButton> dialog_buttons(const MessageBoxStyle &style);
// What closing the box (window close, Escape) returns; nullopt when the style has
// no way out but its buttons.
std::optional<BoxAnswer> dialog_dismiss_result(const MessageBoxStyle &style);
// The button that starts with the focus (the first when there is no such button).
std::size_t dialog_default_button(const MessageBoxStyle &style);

} // namespace teclix::x11
