// Reading the clipboard's text from its owner (the CLIPBOARD selection), with every
// wait bounded.
#pragma once

#include <optional>
#include <string>

#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_event_loop.h"

namespace teclix::x11 {

// Each request is answered into a property of its own (one per form of text) on a
// window of the clipboard's own, and only an answer naming the request in flight
// (selection, form, property) is taken. A window whose owner stopped answering is
// dropped for a new one, so a late answer, or an abandoned transfer in pieces,
// can never be read as part of the next paste.
class Clipboard {
public:
  Clipboard(const Connection &connection, EventLoop &loop);
  ~Clipboard() { drop_window(); }
  Clipboard(const Clipboard &) = delete;
  Clipboard &operator=(const Clipboard &) = delete;

  // The text, as UTF8_STRING or else STRING, whole or sent in pieces (INCR);
  // nullopt when there is no owner, no text, or the owner stops answering.
  std::optional<std::u16string> text();

private:
  // The text in one form; nullopt when the owner has none in that form, or
  // (abandoned set) stopped answering.
  std::optional<std::u16string> request(Atom target, Atom property, bool &abandoned);
  void drop_window();

  const Connection &x_;
  EventLoop &loop_;
  Window window_ = None;
};

} // namespace teclix::x11
