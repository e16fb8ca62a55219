// Conversions between the program's UTF-16 text and the encodings at its edges.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace teclix {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// Reads the code point that starts at text[pos] and advances pos past it.
// An unpaired surrogate reads as U+FFFD.
char32_t next_code_point(std::u16string_view text, std::size_t &pos);

// UTF-8 to UTF-16. Invalid sequences become U+FFFD; nothing else is lost.
std::u16string utf8_to_utf16(std::string_view text);

// UTF-16 to UTF-8. Unpaired surrogates become U+FFFD.
std::string utf16_to_utf8(std::u16string_view text);

// Appends one code point to UTF-16 text.
void append_code_point(std::u16string &out, char32_t cp);

// How many code points the text holds (an unpaired surrogate counts as one).
std::size_t code_point_count(std::u16string_view text);

// The Western (Windows-1252) code of a character; '?' for one it lacks.
std::uint8_t western_code(char16_t ch);
// The character a Western code stands for; U+FFFD for the five codes it leaves
// unassigned.
char32_t western_char(std::uint8_t code);

} // namespace teclix
