// Reading the clipboard's text from its owner (the CLIPBOARD selection), with every
// wait bounded.
#include "platform/x11/x11_clipboard.h"

#include <chrono>
#include <climits>

#include <X11/Xatom.h>

#include "platform/xkb/selection_transfer.h"

namespace teclix::x11 {

using namespace teclix::xkb; // the keyboard-map model and keysyms X11 shares with Wayland

namespace {

using namespace std::chrono_literals;

// Every wait for the clipboard owner is bounded by this.
constexpr auto kClipboardWait = 1s;
// A text sent in pieces may take longer, but not for ever.
constexpr auto kTransferLimit = 10s;

// The answer to the request in flight, and no other.
struct Request {
  Window requestor;
  Atom selection, target, property;
};
Bool is_answer(Display *, XEvent *e, XPointer arg) {
  const auto *r = reinterpret_cast<const Request *>(arg);
  return e->type == SelectionNotify && e->xselection.requestor == r->requestor &&
         e->xselection.selection == r->selection && e->xselection.target == r->target &&
         (e->xselection.property == r->property || e->xselection.property == None);
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

Clipboard::Clipboard(const Connection &connection, EventLoop &loop) : x_(connection), loop_(loop) {}

void Clipboard::drop_window() {
  if (window_ != None) {
    XDestroyWindow(x_.display, window_);
    window_ = None;
  }
}

std::optional<std::u16string> Clipboard::text() {
  Display *d = x_.display;
  if (XGetSelectionOwner(d, x_.atoms.clipboard) == None) {
    return std::nullopt;
  }
  if (window_ == None) {
    XSetWindowAttributes a{};
    a.event_mask = PropertyChangeMask;
    window_ =
        XCreateWindow(d, x_.root, -10, -10, 1, 1, 0, 0, InputOnly, CopyFromParent, CWEventMask, &a);
  }
  for (const auto &[target, property] : {std::pair{x_.atoms.utf8_string, x_.atoms.clipboard_utf8},
                                         std::pair{Atom{XA_STRING}, x_.atoms.clipboard_string}}) {
    bool abandoned = false;
    std::optional<std::u16string> text = request(target, property, abandoned);
    if (abandoned) {
      drop_window();
      return std::nullopt;
    }
    if (text) {
      return text;
    }
  }
  return std::nullopt;
}

std::optional<std::u16string> Clipboard::request(Atom target, Atom property, bool &abandoned) {
  Display *d = x_.display;
  XDeleteProperty(d, window_, property);
  XConvertSelection(d, x_.atoms.clipboard, target, property, window_, CurrentTime);
  Request wanted{window_, x_.atoms.clipboard, target, property};
  XEvent e;
  if (!loop_.take_event(is_answer, reinterpret_cast<XPointer>(&wanted),
                        EventLoop::Clock::now() + kClipboardWait, e)) {
    abandoned = true; // the owner does not answer
    return std::nullopt;
  }
  if (e.xselection.property == None) {
    return std::nullopt; // no text in this form
  }
  SelectionTransfer transfer(target == x_.atoms.utf8_string ? SelectionEncoding::kUtf8
                                                            : SelectionEncoding::kLatin1);
  Atom type = None;
  int format = 0;
  std::string bytes;
  if (!take_property(d, window_, property, type, format, bytes)) {
    return std::nullopt;
  }
  if (type == x_.atoms.incr) {
    transfer.start(true, format, bytes);
    const auto give_up = EventLoop::Clock::now() + kTransferLimit;
    while (transfer.state() == SelectionTransfer::State::kReceiving) {
      const auto until = std::min(give_up, EventLoop::Clock::now() + kClipboardWait);
      if (!loop_.take_property_change(window_, property, true, until, e) ||
          !take_property(d, window_, property, type, format, bytes)) {
        abandoned = true; // the owner stopped answering
        return std::nullopt;
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
      return std::nullopt;
    }
    transfer.start(false, format, bytes);
  }
  if (transfer.state() != SelectionTransfer::State::kDone) {
    abandoned = transfer.state() == SelectionTransfer::State::kReceiving;
    return std::nullopt;
  }
  return transfer.text();
}

} // namespace teclix::x11
