#include "typing/keystrokes.h"

#include <array>

#include "typing/runtime_error.h"
#include "typing/unicode.h"

namespace teclix {

namespace {

// Modifiers in the order they are pressed; released in reverse.
constexpr std::array<Modifier, 5> kModifierOrder = {kShift, kControl, kAlt, kAltGr, kSuper};

void tap(Platform &platform, std::uint8_t vk) {
  platform.send_virtual_key(vk, false);
  platform.send_virtual_key(vk, true);
}

void set_modifiers(Platform &platform, unsigned modifiers, bool up) {
  if (up) {
    for (auto it = kModifierOrder.rbegin(); it != kModifierOrder.rend(); ++it) {
      if (modifiers & *it) {
        platform.send_virtual_key(modifier_virtual_key(*it), true);
      }
    }
  } else {
    for (Modifier m : kModifierOrder) {
      if (modifiers & m) {
        platform.send_virtual_key(modifier_virtual_key(m), false);
      }
    }
  }
}

void type_character(Platform &platform, char32_t ch) {
  const std::optional<KeyLocation> where = platform.locate(ch);
  if (!where || where->dead) {
    platform.send_character(ch);
    return;
  }
  set_modifiers(platform, where->modifiers, false);
  platform.send_layout_key(where->key, false);
  platform.send_layout_key(where->key, true);
  set_modifiers(platform, where->modifiers, true);
}

// Lets go of the modifiers the user holds for the typing and presses them again
// afterwards. Caps Lock is left alone: the layout's answer for each character
// already takes it into account.
class NeutralKeyboard {
public:
  explicit NeutralKeyboard(Platform &platform)
      : platform_(platform), held_(platform.held_modifiers()) {
    set_modifiers(platform_, held_, true);
  }
  ~NeutralKeyboard() { set_modifiers(platform_, held_, false); }
  NeutralKeyboard(const NeutralKeyboard &) = delete;
  NeutralKeyboard &operator=(const NeutralKeyboard &) = delete;

private:
  Platform &platform_;
  unsigned held_;
};

} // namespace

std::uint8_t modifier_virtual_key(Modifier modifier) {
  switch (modifier) {
  case kShift:
    return 0xA0; // VK_LSHIFT
  case kControl:
    return 0xA2; // VK_LCONTROL
  case kAlt:
    return 0xA4; // VK_LMENU
  case kAltGr:
    return 0xA5; // VK_RMENU
  case kSuper:
    return 0x5B; // VK_LWIN
  }
  return 0;
}

void Pulsar_Tecla(Platform &platform, std::int32_t Tecla) {
  if (Tecla < 0 || Tecla > 255) {
    throw overflow_error();
  }
  tap(platform, static_cast<std::uint8_t>(Tecla));
}

bool Pulsar_TeclaS(Platform &platform, const std::u16string &Teclas,
                   const KeepTyping &keep_typing) {
  if (Teclas.empty()) {
    return true;
  }
  bool complete = true;
  platform.begin_typing(Teclas);
  {
    NeutralKeyboard neutral(platform);
    std::size_t pos = 0;
    std::size_t typed = 0;
    while (pos < Teclas.size()) {
      if (keep_typing && typed > 0 && typed % kCharactersBetweenChecks == 0 && !keep_typing()) {
        complete = false;
        break;
      }
      ++typed;
      const char32_t ch = next_code_point(Teclas, pos);
      if (ch == U'\r') {
        if (pos < Teclas.size() && Teclas[pos] == u'\n') {
          ++pos;
        }
        tap(platform, kVkReturn);
      } else if (ch == U'\n') {
        tap(platform, kVkReturn);
      } else if (ch == U'\t') {
        tap(platform, kVkTab);
      } else if (ch < 0x20 || ch == 0x7F) {
        // Other control characters have no text of their own: typing them would
        // run commands in the target (Backspace, Escape, Ctrl+letter).
        continue;
      } else {
        type_character(platform, ch);
      }
    }
  }
  platform.end_typing();
  return complete;
}

} // namespace teclix
