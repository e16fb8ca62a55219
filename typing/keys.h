// The keys the program presses by name, and the Windows virtual-key codes that
// callers of the public key operation use for them.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/platform.h"

namespace teclix {

// The key for a Windows virtual-key code (0-255); nullopt for codes that name no
// key of a keyboard (mouse buttons, IME and reserved codes).
std::optional<Key> key_for_virtual_key(std::uint8_t virtual_key);
// The virtual-key code of a key: the same table read the other way.
std::uint8_t virtual_key_for(Key key);

// The key that stands for each modifier bit when it is pressed or released.
Key modifier_key(Modifier modifier);
// The modifier a key holds, if it is one of the typing's modifiers.
std::optional<Modifier> key_modifier(Key key);

// Keys in ranges: digits and letters of the main block, keypad digits, F1-F24.
Key digit_key(int digit);
Key letter_key(int index);
Key keypad_digit_key(int digit);
Key function_key(int number);

} // namespace teclix
