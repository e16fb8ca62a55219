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

} // namespace
} // namespace teclix
