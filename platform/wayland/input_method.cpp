#include "platform/wayland/input_method.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include <wayland-client.h>

#include "input-method-unstable-v2-client-protocol.h"

namespace teclix::wayland {

namespace {

void ignore_cause(void *, zwp_input_method_v2 *, uint32_t) {}
void ignore_content_type(void *, zwp_input_method_v2 *, uint32_t, uint32_t) {}

const zwp_input_method_v2_listener kListener = {
    InputMethod::on_activate,
    InputMethod::on_deactivate,
    InputMethod::on_surrounding_text,
    ignore_cause,
    ignore_content_type,
    InputMethod::on_done,
    InputMethod::on_unavailable,
};

} // namespace

InputMethod::InputMethod(Connection &connection, zwp_input_method_v2 *method)
    : connection_(connection), method_(method) {
  zwp_input_method_v2_add_listener(method_, &kListener, this);
}

InputMethod::~InputMethod() {
  zwp_input_method_v2_destroy(method_);
  connection_.flush();
}

std::unique_ptr<InputMethod> InputMethod::begin(Connection &connection) {
  if (!connection.input_method_manager() || !connection.seat()) {
    return nullptr;
  }
  std::unique_ptr<InputMethod> self(
      new InputMethod(connection, zwp_input_method_manager_v2_get_input_method(
                                      connection.input_method_manager(), connection.seat())));
  // The compositor tells the focused window there is an input method; a window
  // that takes text from one enables its text input, and this one is activated.
  InputMethod *raw = self.get();
  connection.wait_for([raw] { return raw->active_ || raw->unavailable_; }, kActivateWait);
  if (!self->active_) {
    return nullptr;
  }
  if (!self->said_) {
    std::fprintf(stderr, "teclix: la ventana no dice su texto al método de entrada: teclas\n");
    return nullptr;
  }
  std::fprintf(stderr, "teclix: la ventana toma el texto de un método de entrada: va como texto\n");
  return self;
}

namespace {

// The last characters of a piece (whole UTF-8 sequences): what the text before
// the window's cursor ends with once the piece is in.
std::string_view tail(std::string_view text) {
  std::size_t from = text.size() > 24 ? text.size() - 24 : 0;
  while (from < text.size() && (static_cast<unsigned char>(text[from]) & 0xC0) == 0x80) {
    ++from;
  }
  return text.substr(from);
}

} // namespace

InputMethod::Commit InputMethod::commit(std::string_view text,
                                        const std::function<bool()> &keep_waiting) {
  connection_.dispatch();
  if (!active_ || unavailable_) {
    return Commit::kInactive;
  }
  const std::string before = text_;
  const std::string_view end = tail(text);
  zwp_input_method_v2_commit_string(method_, std::string(text).c_str());
  zwp_input_method_v2_commit(method_, done_);
  const auto start = std::chrono::steady_clock::now();
  auto applied = [&] {
    if (text_.ends_with(end)) {
      return true;
    }
    // Changed, though not into this text: the window took what it would.
    return text_ != before && std::chrono::steady_clock::now() - start >= kChangedWait;
  };
  while (std::chrono::steady_clock::now() - start < kApplyWait) {
    if (connection_.wait_for([&] { return applied() || unavailable_; },
                             std::chrono::milliseconds(250))) {
      return unavailable_ ? Commit::kNoAnswer : Commit::kApplied;
    }
    if (keep_waiting && !keep_waiting()) {
      break;
    }
  }
  return Commit::kNoAnswer;
}

void InputMethod::wait_for_change(const std::string &before) {
  connection_.wait_for([&] { return text_ != before || !active_; }, kKeyWait);
}

void InputMethod::on_activate(void *data, zwp_input_method_v2 *) {
  static_cast<InputMethod *>(data)->pending_active_ = true;
}

void InputMethod::on_deactivate(void *data, zwp_input_method_v2 *) {
  static_cast<InputMethod *>(data)->pending_active_ = false;
}

void InputMethod::on_surrounding_text(void *data, zwp_input_method_v2 *, const char *text,
                                      uint32_t cursor, uint32_t) {
  auto *self = static_cast<InputMethod *>(data);
  self->pending_text_.assign(text, std::min<std::size_t>(cursor, std::strlen(text)));
  self->pending_said_ = true;
}

void InputMethod::on_done(void *data, zwp_input_method_v2 *) {
  auto *self = static_cast<InputMethod *>(data);
  ++self->done_;
  self->active_ = self->pending_active_;
  // The surrounding text is reported anew before each done it applies to.
  if (self->pending_said_) {
    self->text_ = std::move(self->pending_text_);
    self->said_ = true;
  }
  self->pending_text_.clear();
  self->pending_said_ = false;
}

void InputMethod::on_unavailable(void *data, zwp_input_method_v2 *) {
  auto *self = static_cast<InputMethod *>(data);
  self->unavailable_ = true;
  self->active_ = false;
}

} // namespace teclix::wayland
