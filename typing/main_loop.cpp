#include "typing/main_loop.h"

#include "typing/keystrokes.h"
#include "typing/paste_plan.h"

namespace teclix {

WindowHandle GetFocusHandle(Platform &platform) {
  return platform.focused_control();
}

void paste_clipboard(Platform &platform) {
  if (GetFocusHandle(platform) == 0) {
    return;
  }
  const std::optional<std::u16string> text = platform.clipboard_text();
  if (!text || text->empty()) {
    return;
  }
  for (const PasoDePegado &step : Preparar_Pegado(*text, platform.number_format())) {
    if (step.kind == PasoDePegado::Kind::TypeText) {
      Pulsar_TeclaS(platform, step.text);
    } else {
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
