// Reading the clipboard's text from its owner (the CLIPBOARD selection), with every
// wait bounded.
#include "platform/x11/x11_clipboard.h"

#include <chrono>
#include <climits>

#include <X11/Xatom.h>

#include "platform/x11/selection_transfer.h"

namespace teclix::x11 {

namespace {

using namespace std::chrono_literals;

// Every wait for the clipboard owner is bounded by this.
constexpr auto kClipboardWait = 1s;
// A text sent in pieces may take longer, but not for ever.
constexpr auto kTransferLimit = 10s;

// The owner's answer to our request for the clipboard (arg: the helper window).
Bool is_clipboard_answer(Display *, XEvent *e, XPointer arg) {
  return e->type == SelectionNotify &&
         e->xselection.requestor == *reinterpret_cast<const Window *>(arg);
}

// Reads the property and deletes it, which asks an INCR owner for the next piece.
bool take_property(Display *d, Window window, Atom property, Atom &type, int &format,
                   std::string &bytes) {
  unsigned long count = 0, after = 0;
  unsigned char *data = nullptr;
  if (XGetWindowProperty(d, window, property, 0, LONG_MAX / 4, True, AnyPropertyType, &type,
                         &format, &count, &after, &data) != Success) {
    return false;
  }
  bytes.clear();
  if (data) {
    // Xlib gives 32-bit items as longs; only 8-bit items are text anyway.
    const std::size_t item = format == 8 ? 1 : format == 16 ? sizeof(short) : sizeof(long);
    bytes.assign(reinterpret_cast<const char *>(data), count * item);
    XFree(data);
  }
  return true;
}

} // namespace

std::optional<std::u16string> Clipboard::text() {
  Display *d = x_.display;
  const Atom clipboard = x_.atoms.clipboard, property = x_.atoms.selection_property;
  if (XGetSelectionOwner(d, clipboard) == None) {
    return std::nullopt;
  }
  Window requestor = x_.helper;
  for (Atom target : {x_.atoms.utf8_string, Atom{XA_STRING}}) {
    XDeleteProperty(d, x_.helper, property);
    XConvertSelection(d, clipboard, target, property, x_.helper, CurrentTime);
    XEvent e;
    if (!loop_.take_event(is_clipboard_answer, reinterpret_cast<XPointer>(&requestor),
                          EventLoop::Clock::now() + kClipboardWait, e)) {
      return std::nullopt; // the owner does not answer
    }
    if (e.xselection.property == None) {
      continue; // no text in this form
    }
    SelectionTransfer transfer(target == x_.atoms.utf8_string ? SelectionEncoding::kUtf8
                                                              : SelectionEncoding::kLatin1);
    Atom type = None;
    int format = 0;
    std::string bytes;
    if (!take_property(d, x_.helper, property, type, format, bytes)) {
      continue;
    }
    if (type == x_.atoms.incr) {
      transfer.start(true, format, bytes);
      const auto give_up = EventLoop::Clock::now() + kTransferLimit;
      while (transfer.state() == SelectionTransfer::State::kReceiving) {
        const auto until = std::min(give_up, EventLoop::Clock::now() + kClipboardWait);
        if (!loop_.take_property_change(x_.helper, property, true, until, e) ||
            !take_property(d, x_.helper, property, type, format, bytes)) {
          return std::nullopt; // the owner stopped answering
        }
        if (type == None) {
          // The notice of an earlier piece (or of the INCR answer itself): this
          // one is not written yet. The empty piece that ends the text has a type.
          continue;
        }
        transfer.add_piece(format, bytes);
      }
    } else {
      if (type != x_.atoms.utf8_string && type != XA_STRING) {
        continue;
      }
      transfer.start(false, format, bytes);
    }
    if (transfer.state() != SelectionTransfer::State::kDone) {
      return std::nullopt;
    }
    return transfer.text();
  }
  return std::nullopt;
}

} // namespace teclix::x11
