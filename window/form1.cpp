#include "window/form1.h"

#include "typing/main_loop.h"

namespace teclix {

const std::u16string kInstruction = u"Copiar el texto deseado desde donde se encuentre \r\n"
                                    u"y apretar F10 para pegar en donde se desee pegar";

std::u16string hotkey_in_use_notice(const std::u16string &reason) {
  std::u16string notice = u"La tecla F10 está ocupada por otro programa, así que Teclix no "
                          u"puede pegar con ella. Cierre ese programa y vuelva a abrir Teclix.";
  if (!reason.empty()) {
    notice += u"\r\n(" + reason + u")";
  }
  return notice;
}

Form1::Form1(Platform &platform) : platform_(platform) {}

void Form1::Load() {
  window_ = platform_.create_main_window(*this);
  instruction_ = kInstruction;

  Finalizar = false;
  const CallResult hotkey = platform_.register_hotkey(window_, kHotkeyId, kHotkeyModifiers, kVkF10);
  hotkey_held_ = hotkey.ok;
  if (!hotkey.ok) {
    instruction_ = hotkey_in_use_notice(hotkey.reason);
  }
  platform_.set_instruction(window_, instruction_);
  platform_.show_window(window_);
  Bucle_Principal(platform_, window_, Finalizar);
}

void Form1::Unload() {
  Finalizar = true;
  if (hotkey_held_) {
    platform_.unregister_hotkey(window_, kHotkeyId);
    hotkey_held_ = false;
  }
}

} // namespace teclix
