// Fuzzes the assembly of a selection's text from its owner's replies: any
// sequence of replies ends done or failed, never beyond the size limit, and a
// finished text is exactly the pieces joined, up to a NUL.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/xkb/selection_transfer.h"
#include "typing/unicode.h"

using namespace teclix;
using teclix::xkb::SelectionEncoding;
using teclix::xkb::SelectionTransfer;

namespace {
constexpr std::size_t kLimit = 512;
}

// Input: one byte of flags (bit 0 Latin-1, bit 1 INCR), then replies, each a
// format byte, a length byte and that many bytes.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size == 0) {
    return 0;
  }
  const bool latin1 = data[0] & 1;
  const bool incremental = data[0] & 2;
  SelectionTransfer transfer(latin1 ? SelectionEncoding::kLatin1 : SelectionEncoding::kUtf8,
                             kLimit);
  std::string joined;
  bool all_text = true;
  bool first = true;
  bool ended = false;
  std::size_t pos = 1;
  while (pos + 2 <= size) {
    const int format = data[pos] % 3 == 0 ? 8 : data[pos] % 3 == 1 ? 16 : 32;
    const std::size_t length = std::min<std::size_t>(data[pos + 1], size - pos - 2);
    const std::string piece(reinterpret_cast<const char *>(data + pos + 2), length);
    pos += 2 + length;
    SelectionTransfer::State state;
    if (first) {
      state = transfer.start(incremental, format, piece);
      first = false;
      if (incremental) {
        continue; // the INCR announcement carries no text
      }
    } else {
      const bool was_receiving = transfer.state() == SelectionTransfer::State::kReceiving;
      state = transfer.add_piece(format, piece);
      if (!was_receiving && state != SelectionTransfer::State::kFailed) {
        std::abort(); // nothing may follow the end of a transfer
      }
      ended = ended || piece.empty();
    }
    if (!piece.empty() && format != 8) {
      all_text = false;
    }
    if (state != SelectionTransfer::State::kFailed && !ended) {
      joined += piece;
    }
  }
  const std::u16string text = transfer.text();
  if (transfer.state() != SelectionTransfer::State::kDone) {
    if (!text.empty()) {
      std::abort();
    }
    return 0;
  }
  if (!all_text || joined.size() > kLimit) {
    std::abort(); // a transfer with non-text items or too many bytes was accepted
  }
  const std::string upto_nul = joined.substr(0, joined.find('\0'));
  std::u16string expected;
  if (latin1) {
    for (const char c : upto_nul) {
      expected += static_cast<char16_t>(static_cast<unsigned char>(c));
    }
  } else {
    expected = utf8_to_utf16(upto_nul);
  }
  if (text != expected) {
    std::abort();
  }
  return 0;
}
