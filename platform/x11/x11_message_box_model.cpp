#include "platform/x11/x11_message_box_model.h"

namespace teclix::x11 {

std::vector<DialogButton> dialog_buttons(const MessageBoxStyle &style) {
  using enum BoxAnswer;
  switch (style.buttons) {
  case MessageBoxButtons::kOkCancel:
    return {{"Aceptar", kOk}, {"Cancelar", kCancel}};
  case MessageBoxButtons::kAbortRetryIgnore:
    return {{"Anular", kAbort}, {"Reintentar", kRetry}, {"Omitir", kIgnore}};
  case MessageBoxButtons::kYesNoCancel:
    return {{"Sí", kYes}, {"No", kNo}, {"Cancelar", kCancel}};
  case MessageBoxButtons::kYesNo:
    return {{"Sí", kYes}, {"No", kNo}};
  case MessageBoxButtons::kRetryCancel:
    return {{"Reintentar", kRetry}, {"Cancelar", kCancel}};
  case MessageBoxButtons::kOk:
    break;
  }
  return {{"Aceptar", kOk}};
}

std::optional<BoxAnswer> dialog_dismiss_result(const MessageBoxStyle &style) {
  const std::vector<DialogButton> buttons = dialog_buttons(style);
  for (const DialogButton &button : buttons) {
    if (button.result == BoxAnswer::kCancel) {
      return BoxAnswer::kCancel;
    }
  }
  if (buttons.size() == 1) {
    return buttons.front().result;
  }
  return std::nullopt;
}

std::size_t dialog_default_button(const MessageBoxStyle &style) {
  const auto wanted = static_cast<std::size_t>(style.default_button);
  return wanted < dialog_buttons(style).size() ? wanted : 0;
}

} // namespace teclix::x11
