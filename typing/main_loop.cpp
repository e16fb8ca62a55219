#include "typing/main_loop.h"

#include "typing/keystrokes.h"
#include "typing/paste_plan.h"

namespace teclix {

WindowHandle GetFocusHandle(Platform &platform) {
  return platform.focused_control();
}

void paste_clipboard(Platform &platform) {
  const WindowHandle target = GetFocusHandle(platform);
  if (target == 0) {
    return;
  }
  const std::optional<std::u16string> text = platform.clipboard_text();
  if (!text || text->empty()) {
    return;
  }
  // Keys go only where the user aimed: when the focus moves to another control
  // during the paste (a click elsewhere, a dialog), the rest is not typed.
  const KeepTyping same_target = [&platform, target] {
    return platform.focused_control() == target;
  };
  for (const PasoDePegado &step : Preparar_Pegado(*text, platform.number_format())) {
    if (step.kind == PasoDePegado::Kind::TypeText) {
      if (!Pulsar_TeclaS(platform, step.text, same_target)) {
        return;
      }
    } else {
      if (!same_target()) {
        return;
      }
      Pulsar_Tecla(platform, step.key);
    }
  }
}

void Bucle_Principal(Platform &platform, WindowHandle window, const bool &Finalizar) {
  while (!Finalizar) {
    platform.wait_message();
    if (platform.peek_hotkey(window)) {
      paste_clipboard(platform);
    }
    platform.pump_events();
  }
}

} // namespace teclix
