// The text of a selection put together from its owner's replies.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/xkb/selection_transfer.h"

using teclix::xkb::SelectionEncoding;
using teclix::xkb::SelectionTransfer;
using State = SelectionTransfer::State;

namespace {

struct Reply {
  int format;
  std::string bytes;
};

struct Case {
  const char *name;
  SelectionEncoding encoding;
  bool incremental;
  std::vector<Reply> replies; // the first is the property the owner answered with
  State state;
  std::u16string text;
};

std::u16string Receive(const Case &c, std::size_t limit = SelectionTransfer::kMaxBytes) {
  SelectionTransfer transfer(c.encoding, limit);
  for (std::size_t i = 0; i < c.replies.size(); ++i) {
    if (i == 0) {
      transfer.start(c.incremental, c.replies[i].format, c.replies[i].bytes);
    } else {
      transfer.add_piece(c.replies[i].format, c.replies[i].bytes);
    }
  }
  EXPECT_EQ(transfer.state(), c.state) << c.name;
  return transfer.text();
}

TEST(SelectionTransfer, RepliesTable) {
  const auto utf8 = SelectionEncoding::kUtf8;
  const auto latin1 = SelectionEncoding::kLatin1;
  const std::vector<Case> cases = {
      {"one property", utf8, false, {{8, "Hola, mundo"}}, State::kDone, u"Hola, mundo"},
      {"empty text", utf8, false, {{8, ""}}, State::kDone, u""},
      {"pieces in order",
       utf8,
       true,
       {{32, "hint"}, {8, "Año "}, {8, "Ñandú"}, {8, ""}},
       State::kDone,
       u"Año Ñandú"},
      {"a character split between pieces",
       utf8,
       true,
       {{32, "hint"}, {8, "\xC3"}, {8, "\xB1"}, {8, ""}},
       State::kDone,
       u"ñ"},
      {"not ended yet", utf8, true, {{32, "hint"}, {8, "abc"}}, State::kReceiving, u""},
      {"latin-1 bytes", latin1, false, {{8, "\xF1\xE9\xBF"}}, State::kDone, u"ñé¿"},
      {"ends at a NUL", utf8, false, {{8, std::string("ab\0cd", 5)}}, State::kDone, u"ab"},
      {"NUL in a later piece",
       utf8,
       true,
       {{32, "h"}, {8, "ab"}, {8, std::string("c\0d", 3)}, {8, ""}},
       State::kDone,
       u"abc"},
      {"invalid UTF-8 replaced",
       utf8,
       false,
       {{8, "a\xFF"
            "b\xED\xA0\x80"
            "c"}},
       State::kDone,
       u"a\uFFFDb\uFFFDc"},
      {"32-bit items are not text", utf8, false, {{32, "abcd"}}, State::kFailed, u""},
      {"16-bit piece fails",
       utf8,
       true,
       {{32, "h"}, {8, "ab"}, {16, "cd"}, {8, ""}},
       State::kFailed,
       u""},
      {"a piece after the end fails",
       utf8,
       true,
       {{32, "h"}, {8, "ab"}, {8, ""}, {8, "x"}},
       State::kFailed,
       u""},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(Receive(c), c.text) << c.name;
  }
}

TEST(SelectionTransfer, StopsAtTheSizeLimit) {
  const Case within{"within",     SelectionEncoding::kUtf8,
                    true,         {{32, "h"}, {8, "12345"}, {8, "67890"}, {8, ""}},
                    State::kDone, u""};
  EXPECT_EQ(Receive(within, 10), u"1234567890");
  const Case beyond{"beyond",       SelectionEncoding::kUtf8,
                    true,           {{32, "h"}, {8, "12345"}, {8, "678901"}, {8, ""}},
                    State::kFailed, u""};
  EXPECT_EQ(Receive(beyond, 10), u"");
}

} // namespace
