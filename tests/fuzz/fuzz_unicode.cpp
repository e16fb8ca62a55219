// Fuzzes the conversions at the program's edges: any bytes convert without loss of
// what is valid, and a second conversion changes nothing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "typing/unicode.h"

using namespace teclix;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char *>(data), size);
  const std::u16string wide = utf8_to_utf16(bytes);
  const std::string narrow = utf16_to_utf8(wide);
  // What came out is valid: it converts back to the same text.
  if (utf8_to_utf16(narrow) != wide) {
    std::abort();
  }
  // Valid UTF-8 goes through unchanged.
  if (wide.find(u'\uFFFD') == std::u16string::npos && narrow != bytes) {
    std::abort();
  }
  // The same bytes read as UTF-16 units: unpaired surrogates become U+FFFD, nothing else changes.
  std::u16string units;
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    units += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
  }
  const std::u16string back = utf8_to_utf16(utf16_to_utf8(units));
  if (back.size() != units.size()) {
    std::abort();
  }
  for (std::size_t i = 0; i < units.size(); ++i) {
    if (back[i] != units[i] && back[i] != u'\uFFFD') {
      std::abort();
    }
  }
  return 0;
}
