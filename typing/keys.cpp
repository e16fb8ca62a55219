#include "typing/keys.h"

#include <array>
#include <utility>

namespace teclix {

namespace {

Key offset(Key first, int n) {
  return static_cast<Key>(static_cast<std::uint16_t>(first) + n);
}

// Virtual-key codes of the keys that are not in a range, as Windows numbers them.
constexpr std::array<std::pair<std::uint8_t, Key>, 50> kNamed = {{
    {0x08, Key::kBackspace},
    {0x09, Key::kTab},
    {0x0D, Key::kReturn},
    {0x13, Key::kPause},
    {0x14, Key::kCapsLock},
    {0x1B, Key::kEscape},
    {0x20, Key::kSpace},
    {0x21, Key::kPageUp},
    {0x22, Key::kPageDown},
    {0x23, Key::kEnd},
    {0x24, Key::kHome},
    {0x25, Key::kLeft},
    {0x26, Key::kUp},
    {0x27, Key::kRight},
    {0x28, Key::kDown},
    {0x2C, Key::kPrintScreen},
    {0x2D, Key::kInsert},
    {0x2E, Key::kDelete},
    {0x5B, Key::kLeftSuper},
    {0x5C, Key::kRightSuper},
    {0x5D, Key::kMenu},
    {0x6A, Key::kKeypadMultiply},
    {0x6B, Key::kKeypadAdd},
    {0x6C, Key::kKeypadSeparator},
    {0x6D, Key::kKeypadSubtract},
    {0x6E, Key::kKeypadDecimal},
    {0x6F, Key::kKeypadDivide},
    {0x90, Key::kNumLock},
    {0x91, Key::kScrollLock},
    {0xA0, Key::kLeftShift},
    {0xA1, Key::kRightShift},
    {0xA2, Key::kLeftControl},
    {0xA3, Key::kRightControl},
    {0xA4, Key::kLeftAlt},
    {0xA5, Key::kAltGr},
    {0xBA, Key::kSemicolon},
    {0xBB, Key::kEquals},
    {0xBC, Key::kComma},
    {0xBD, Key::kMinus},
    {0xBE, Key::kPeriod},
    {0xBF, Key::kSlash},
    {0xC0, Key::kBacktick},
    {0xDB, Key::kLeftBracket},
    {0xDC, Key::kBackslash},
    {0xDD, Key::kRightBracket},
    {0xDE, Key::kQuote},
    {0xE2, Key::kLessThan},
    // Shift, Control and Alt without a side: the left-hand key.
    {0x10, Key::kLeftShift},
    {0x11, Key::kLeftControl},
    {0x12, Key::kLeftAlt},
}};

} // namespace

Key digit_key(int digit) {
  return offset(Key::kDigit0, digit);
}
Key letter_key(int index) {
  return offset(Key::kA, index);
}
Key keypad_digit_key(int digit) {
  return offset(Key::kKeypad0, digit);
}
Key function_key(int number) {
  return offset(Key::kF1, number - 1);
}

std::optional<Key> key_for_virtual_key(std::uint8_t vk) {
  if (vk >= 0x30 && vk <= 0x39) {
    return digit_key(vk - 0x30);
  }
  if (vk >= 0x41 && vk <= 0x5A) {
    return letter_key(vk - 0x41);
  }
  if (vk >= 0x60 && vk <= 0x69) {
    return keypad_digit_key(vk - 0x60);
  }
  if (vk >= 0x70 && vk <= 0x87) {
    return function_key(vk - 0x70 + 1);
  }
  for (const auto &[code, key] : kNamed) {
    if (code == vk) {
      return key;
    }
  }
  return std::nullopt;
}

std::uint8_t virtual_key_for(Key key) {
  const auto k = static_cast<std::uint16_t>(key);
  const auto in = [k](Key first, int count) {
    return k >= static_cast<std::uint16_t>(first) && k < static_cast<std::uint16_t>(first) + count;
  };
  const auto from = [k](Key first, int code) {
    return static_cast<std::uint8_t>(code + k - static_cast<std::uint16_t>(first));
  };
  if (in(Key::kDigit0, 10)) {
    return from(Key::kDigit0, 0x30);
  }
  if (in(Key::kA, 26)) {
    return from(Key::kA, 0x41);
  }
  if (in(Key::kKeypad0, 10)) {
    return from(Key::kKeypad0, 0x60);
  }
  if (in(Key::kF1, 24)) {
    return from(Key::kF1, 0x70);
  }
  for (const auto &[code, named] : kNamed) {
    if (named == key) {
      return code; // the first code listed for it: the one with a side
    }
  }
  return 0;
}

Key modifier_key(Modifier modifier) {
  switch (modifier) {
  case kShift:
    return Key::kLeftShift;
  case kControl:
    return Key::kLeftControl;
  case kAlt:
    return Key::kLeftAlt;
  case kAltGr:
    return Key::kAltGr;
  case kSuper:
    return Key::kLeftSuper;
  }
  return Key::kLeftShift;
}

std::optional<Modifier> key_modifier(Key key) {
  switch (key) {
  case Key::kLeftShift:
  case Key::kRightShift:
    return kShift;
  case Key::kLeftControl:
  case Key::kRightControl:
    return kControl;
  case Key::kLeftAlt:
    return kAlt;
  case Key::kAltGr:
    return kAltGr;
  case Key::kLeftSuper:
  case Key::kRightSuper:
    return kSuper;
  default:
    return std::nullopt;
  }
}

} // namespace teclix
