// Reading the clipboard's text from its owner (the CLIPBOARD selection), with every
// wait bounded.
#pragma once

#include <optional>
#include <string>

#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_event_loop.h"

namespace teclix::x11 {

class Clipboard {
public:
  Clipboard(const Connection &connection, EventLoop &loop) : x_(connection), loop_(loop) {}
  // The text, as UTF8_STRING or else STRING, whole or sent in pieces (INCR);
  // nullopt when there is no owner, no text, or the owner stops answering.
  std::optional<std::u16string> text();

private:
  const Connection &x_;
  EventLoop &loop_;
};

} // namespace teclix::x11
