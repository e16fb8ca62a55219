#include "typing/unicode.h"

#include <gtest/gtest.h>

#include "test_text.h"

namespace teclix {
namespace {

TEST(Unicode, RoundTripsEveryPlane) {
  const std::string text = "aÑ€世😀\xF4\x8F\xBF\xBF";
  const std::u16string wide = utf8_to_utf16(text);
  EXPECT_EQ(wide, u"aÑ€世😀\U0010FFFF");
  EXPECT_EQ(utf16_to_utf8(wide), text);
}

struct Broken {
  std::string utf8;
  std::u16string expected;
};

TEST(Unicode, InvalidUtf8BecomesReplacementCharacters) {
  const Broken cases[] = {
      {"a\xFF"
       "b",
       u"a\uFFFDb"},
      {"a\xC3", u"a\uFFFD"}, // cut short at the end
      {"\xE2\x82"
       "x",
       u"\uFFFDx"},                    // cut short before an ASCII letter
      {"\xC0\xAF", u"\uFFFD\uFFFD"},   // overlong form
      {"\xED\xA0\x80", u"\uFFFD"},     // an encoded surrogate
      {"\xF4\x90\x80\x80", u"\uFFFD"}, // beyond U+10FFFF
      {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
  };
  for (const Broken &c : cases) {
    EXPECT_EQ(utf8_to_utf16(c.utf8), c.expected);
  }
}

TEST(Unicode, UnpairedSurrogatesReadAsReplacementCharacters) {
  const std::u16string text = {u'a', 0xD800, u'b', 0xDC00, 0xD83D};
  std::size_t pos = 0;
  std::u32string read;
  while (pos < text.size()) {
    read += next_code_point(text, pos);
  }
  EXPECT_EQ(read, U"a\uFFFDb\uFFFD\uFFFD");
  EXPECT_EQ(utf16_to_utf8(text), "a\xEF\xBF\xBD"
                                 "b\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(Western, CodesAndCharactersBothWays) {
  EXPECT_EQ(western_code(u'A'), 0x41);
  EXPECT_EQ(western_code(u'ñ'), 0xF1);
  EXPECT_EQ(western_code(u'\u00A0'), 0xA0);
  EXPECT_EQ(western_code(u'Ÿ'), 0x9F);
  EXPECT_EQ(western_code(u'™'), 0x99);
  EXPECT_EQ(western_code(u'\u0081'), '?'); // a C1 control the code page lacks
  EXPECT_EQ(western_code(u'Ω'), '?');

  // Each code names the character that the core turns back into that code.
  int holes = 0;
  for (int code = 0; code < 256; ++code) {
    const char32_t ch = western_char(static_cast<std::uint8_t>(code));
    if (ch == 0xFFFD) {
      ++holes;
      continue;
    }
    ASSERT_LT(ch, 0x10000u);
    EXPECT_EQ(western_code(static_cast<char16_t>(ch)), code) << "code " << code;
  }
  EXPECT_EQ(holes, 5); // 0x81, 0x8D, 0x8F, 0x90, 0x9D
  EXPECT_EQ(western_char(0x80), U'€');
  EXPECT_EQ(western_char(0xD1), U'Ñ');
  EXPECT_EQ(western_char(0x9F), U'Ÿ');
}

} // namespace
} // namespace teclix
