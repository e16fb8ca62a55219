#include "platform/xkb/selection_transfer.h"

#include "typing/unicode.h"

namespace teclix::xkb {

SelectionTransfer::State SelectionTransfer::start(bool incremental, int format,
                                                  std::string_view bytes) {
  if (started_) {
    return state_ = State::kFailed;
  }
  started_ = true;
  if (incremental) {
    return state_ = State::kReceiving;
  }
  if (append(format, bytes) == State::kFailed) {
    return state_;
  }
  return state_ = State::kDone;
}

SelectionTransfer::State SelectionTransfer::add_piece(int format, std::string_view bytes) {
  if (!started_ || state_ != State::kReceiving) {
    return state_ = State::kFailed;
  }
  if (bytes.empty()) {
    return state_ = State::kDone;
  }
  return append(format, bytes);
}

SelectionTransfer::State SelectionTransfer::append(int format, std::string_view bytes) {
  // Text is a string of bytes; 16- and 32-bit items are not text.
  if (!bytes.empty() && format != 8) {
    return state_ = State::kFailed;
  }
  if (bytes.size() > max_bytes_ - bytes_.size()) {
    bytes_.clear();
    return state_ = State::kFailed;
  }
  bytes_.append(bytes);
  return state_;
}

std::u16string SelectionTransfer::text() const {
  if (state_ != State::kDone) {
    return {};
  }
  std::string_view bytes(bytes_);
  if (const std::size_t nul = bytes.find('\0'); nul != std::string_view::npos) {
    bytes = bytes.substr(0, nul);
  }
  if (encoding_ == SelectionEncoding::kUtf8) {
    return utf8_to_utf16(bytes);
  }
  std::u16string latin1;
  latin1.reserve(bytes.size());
  for (const char c : bytes) {
    latin1 += static_cast<char16_t>(static_cast<unsigned char>(c));
  }
  return latin1;
}

} // namespace teclix::xkb
