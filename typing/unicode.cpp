#include "typing/unicode.h"

#include <array>

namespace teclix {

namespace {

bool is_high_surrogate(char32_t u) {
  return u >= 0xD800 && u <= 0xDBFF;
}
bool is_low_surrogate(char32_t u) {
  return u >= 0xDC00 && u <= 0xDFFF;
}

void append_utf8(std::string &out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

} // namespace

char32_t next_code_point(std::u16string_view text, std::size_t &pos) {
  char32_t unit = text[pos++];
  if (is_high_surrogate(unit)) {
    if (pos < text.size() && is_low_surrogate(text[pos])) {
      char32_t low = text[pos++];
      return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
    }
    return kReplacementCharacter;
  }
  if (is_low_surrogate(unit)) {
    return kReplacementCharacter;
  }
  return unit;
}

void append_code_point(std::u16string &out, char32_t cp) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (cp >> 10));
    out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
  } else {
    out += static_cast<char16_t>(cp);
  }
}

std::u16string utf8_to_utf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    int extra = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if (lead < 0x80) {
      out += static_cast<char16_t>(lead);
      ++i;
      continue;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      extra = 1, cp = lead & 0x1F, min = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      extra = 2, cp = lead & 0x0F, min = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      extra = 3, cp = lead & 0x07, min = 0x10000;
    } else {
      out += static_cast<char16_t>(kReplacementCharacter);
      ++i;
      continue;
    }
    std::size_t j = i + 1;
    int got = 0;
    while (got < extra && j < text.size() && (static_cast<unsigned char>(text[j]) & 0xC0) == 0x80) {
      cp = (cp << 6) | (static_cast<unsigned char>(text[j]) & 0x3F);
      ++j, ++got;
    }
    if (got < extra || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      // A broken sequence: one replacement character for it, then resynchronise.
      out += static_cast<char16_t>(kReplacementCharacter);
      i = j;
      continue;
    }
    append_code_point(out, cp);
    i = j;
  }
  return out;
}

std::string utf16_to_utf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    append_utf8(out, next_code_point(text, pos));
  }
  return out;
}

std::size_t code_point_count(std::u16string_view text) {
  std::size_t count = 0;
  for (std::size_t pos = 0; pos < text.size(); ++count) {
    next_code_point(text, pos);
  }
  return count;
}

namespace {

// Windows-1252 puts these characters in 0x80-0x9F; 0xFFFD marks its holes.
constexpr std::array<char32_t, 32> kWestern80to9F = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

} // namespace

std::uint8_t western_code(char16_t ch) {
  if (ch < 0x80 || (ch >= 0xA0 && ch <= 0xFF)) {
    return static_cast<std::uint8_t>(ch);
  }
  for (std::size_t i = 0; i < kWestern80to9F.size(); ++i) {
    if (kWestern80to9F[i] != kReplacementCharacter && kWestern80to9F[i] == ch) {
      return static_cast<std::uint8_t>(0x80 + i);
    }
  }
  return '?';
}

char32_t western_char(std::uint8_t code) {
  if (code >= 0x80 && code <= 0x9F) {
    return kWestern80to9F[code - 0x80];
  }
  return code;
}

} // namespace teclix
