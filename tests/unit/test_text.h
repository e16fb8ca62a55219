// Small helpers shared by the unit tests.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "typing/unicode.h"

namespace teclix {

inline std::u16string u16(const std::string &utf8) {
  return utf8_to_utf16(utf8);
}
inline std::string u8(const std::u16string &utf16) {
  return utf16_to_utf8(utf16);
}

// A parameterised case's name: its place in its table, then what it is about in
// letters, digits and underscores; the same on every run.
inline std::string case_name(std::size_t index, std::string_view about) {
  std::string name = "case" + std::to_string(index);
  if (!about.empty()) {
    name += '_';
  }
  for (char c : about.substr(0, 40)) {
    const bool word = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    name += word ? c : '_';
  }
  return name;
}

} // namespace teclix
