// Typing by synthetic key presses: each character arrives as itself.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/platform.h"

namespace teclix {

inline constexpr std::uint8_t kVkTab = 0x09;
inline constexpr std::uint8_t kVkReturn = 0x0D;

// The virtual key that stands for each modifier bit when it is pressed or released.
std::uint8_t modifier_virtual_key(Modifier modifier);

// Presses and releases one virtual key. A value outside 0-255 is an overflow error.
void Pulsar_Tecla(Platform &platform, std::int32_t Tecla);

// Types a text, each character as itself, into whatever has the focus: the layout's
// key with the Shift/AltGr it needs where there is one, the character itself where
// there is none. CR, LF and CR LF are one Enter each; tab is Tab. Caps Lock and any
// held modifier do not change the result and are as before afterwards.
//
// keep_typing, when given, is asked every few characters whether typing may go on;
// when it says no, the rest of the text is not typed. Returns whether all of it was.
using KeepTyping = std::function<bool()>;
inline constexpr std::size_t kCharactersBetweenChecks = 8;
bool Pulsar_TeclaS(Platform &platform, const std::u16string &Teclas,
                   const KeepTyping &keep_typing = {});

} // namespace teclix
