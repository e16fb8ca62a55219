// Putting together the text of an X selection from what its owner sends: one
// property, or an INCR transfer in pieces. Apart from Xlib, so it can be tried
// on any sequence of replies.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace teclix::xkb {

// How the owner encodes the text: UTF8_STRING or STRING (ISO 8859-1).
enum class SelectionEncoding { kUtf8, kLatin1 };

class SelectionTransfer {
public:
  enum class State { kReceiving, kDone, kFailed };

  // The most a transfer may bring; more than this is no clipboard text anyone types.
  static constexpr std::size_t kMaxBytes = std::size_t{64} << 20;

  explicit SelectionTransfer(SelectionEncoding encoding, std::size_t max_bytes = kMaxBytes)
      : encoding_(encoding), max_bytes_(max_bytes) {}

  // The first reply. incremental: the owner announced an INCR transfer (the
  // value is then only a size hint and is ignored). format: the property's
  // item size in bits; text comes in 8-bit items.
  State start(bool incremental, int format, std::string_view bytes);
  // One piece of an INCR transfer; an empty piece ends it.
  State add_piece(int format, std::string_view bytes);

  State state() const { return state_; }
  // The text received, as far as it goes: it ends at a NUL character, and what
  // is not valid in the encoding reads as U+FFFD. Empty unless done.
  std::u16string text() const;

private:
  State append(int format, std::string_view bytes);

  SelectionEncoding encoding_;
  std::size_t max_bytes_;
  State state_ = State::kReceiving;
  bool started_ = false;
  std::string bytes_;
};

} // namespace teclix::xkb
