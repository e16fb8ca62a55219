// Small helpers shared by the unit tests.
#pragma once

#include <string>

#include "typing/unicode.h"

namespace teclix {

inline std::u16string u16(const std::string &utf8) {
  return utf8_to_utf16(utf8);
}
inline std::string u8(const std::u16string &utf16) {
  return utf16_to_utf8(utf16);
}

} // namespace teclix
