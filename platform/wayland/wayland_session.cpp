#include "platform/wayland/wayland_session.h"

#include <cstdio>

#include "typing/unicode.h"

namespace teclix::wayland {

std::unique_ptr<WaylandSession> WaylandSession::open(x11::X11Platform &x11) {
  std::unique_ptr<Connection> connection = Connection::open();
  if (!connection) {
    return nullptr;
  }
  if (!connection->keyboard_manager()) {
    std::fprintf(stderr, "teclix: el compositor no ofrece teclado virtual; se escribe por X11\n");
    return nullptr;
  }
  std::unique_ptr<WaylandSession> session(new WaylandSession(x11, std::move(connection)));
  if (!session->keyboard_) {
    return nullptr;
  }
  return session;
}

WaylandSession::WaylandSession(x11::X11Platform &x11, std::unique_ptr<Connection> connection)
    : x11_(x11), connection_(std::move(connection)) {
  keyboard_ = VirtualKeyboard::create(*connection_);
  clipboard_ = DataControlClipboard::create(*connection_);
  // The compositor's events (keymaps, the clipboard's offers) are read as they
  // come, so that its buffer for this program never fills.
  x11_.watch(connection_->fd(), [this] {
    if (!connection_->dispatch() && !connection_lost_) {
      connection_lost_ = true;
      x11_.unwatch(connection_->fd());
      std::fprintf(stderr, "teclix: se ha perdido la conexión con el compositor Wayland\n");
    }
    return false;
  });
}

WaylandSession::~WaylandSession() {
  if (!connection_lost_) {
    x11_.unwatch(connection_->fd());
  }
  clipboard_.reset();
  keyboard_.reset();
}

Platform WaylandSession::parts() {
  return Platform{*this, x11_, *this, *this, x11_, x11_, x11_};
}

// --- The window, forwarded ----------------------------------------------------------------

WindowHandle WaylandSession::create_main_window(WindowEvents &events) {
  return x11_.create_main_window(events);
}
void WaylandSession::show_window(WindowHandle window) {
  x11_.show_window(window);
}
void WaylandSession::set_caption(WindowHandle window, const std::u16string &text) {
  x11_.set_caption(window, text);
}
void WaylandSession::set_instruction(WindowHandle window, const std::u16string &text) {
  x11_.set_instruction(window, text);
}
void WaylandSession::set_link(WindowHandle window, const std::u16string &text) {
  x11_.set_link(window, text);
}
void WaylandSession::set_button(WindowHandle window, const std::u16string &text) {
  x11_.set_button(window, text);
}
void WaylandSession::set_link_color(WindowHandle window, Rgb color) {
  x11_.set_link_color(window, color);
}
void WaylandSession::wait_message() {
  x11_.wait_message();
}
void WaylandSession::wait_message_until(std::chrono::steady_clock::time_point until) {
  x11_.wait_message_until(until);
}
void WaylandSession::pump_events() {
  x11_.pump_events();
}
NumberFormat WaylandSession::number_format() {
  return x11_.number_format();
}

std::u16string WaylandSession::session_notice() {
  std::fprintf(stderr,
               "teclix: sesión Wayland: teclado virtual del compositor, portapapeles por %s\n",
               clipboard_ ? "data-control" : "Xwayland");
  std::u16string notice = u"Wayland: Teclix escribe con un teclado virtual";
  notice +=
      clipboard_ ? u" y lee el portapapeles de Wayland." : u"; el portapapeles, por Xwayland.";
  notice += u" F10 solo llega desde ventanas X11: asigne F10 a «teclix --paste» en su escritorio.";
  return notice;
}

// --- What has the focus ---------------------------------------------------------------------

WaylandSession::Focus WaylandSession::focus() {
  if (sway_.available()) {
    const std::optional<SwayWindow> window = sway_.focused();
    if (sway_.available()) {
      if (!window) {
        return Focus{};
      }
      if (window->xwayland) {
        return Focus{true, x11_.focused_control(), x11_.focused_target()};
      }
      const std::u16string app_id = utf8_to_utf16(window->app_id);
      return Focus{false, kWaylandWindow | static_cast<WindowHandle>(window->id),
                   TargetWindow{app_id, app_id, utf8_to_utf16(window->title)}};
    }
  }
  // Elsewhere X11 says when one of its windows has the focus; when none has,
  // a Wayland window has it (which one, no client is told).
  if (const WindowHandle x11_window = x11_.focused_control(); x11_window != 0) {
    return Focus{true, x11_window, x11_.focused_target()};
  }
  return Focus{false, kWaylandWindow, {}};
}

WindowHandle WaylandSession::focused_control() {
  return focus().handle;
}

TargetWindow WaylandSession::focused_target() {
  return focus().target;
}

std::optional<std::u16string> WaylandSession::clipboard_text() {
  return clipboard_ ? clipboard_->clipboard_text() : x11_.clipboard_text();
}

// --- The keys -----------------------------------------------------------------------------

void WaylandSession::begin_typing(std::u16string_view text, TypingMode mode,
                                  std::function<bool()> keep_typing) {
  typing_with_ = focus().x11 ? static_cast<KeyboardOutput *>(&x11_) : keyboard_.get();
  typing_with_->begin_typing(text, mode, std::move(keep_typing));
}

void WaylandSession::end_typing() {
  if (typing_with_) {
    typing_with_->end_typing();
  }
  typing_with_ = nullptr;
}

// Outside a paste (a key on its own) the keys go to the Wayland keyboard.
KeyboardOutput &WaylandSession::keys() {
  return typing_with_ ? *typing_with_ : static_cast<KeyboardOutput &>(*keyboard_);
}

std::optional<KeyLocation> WaylandSession::locate(char32_t ch) {
  return keys().locate(ch);
}
std::optional<DeadKeySequence> WaylandSession::dead_key_sequence(char32_t ch) {
  return keys().dead_key_sequence(ch);
}
std::optional<char32_t> WaylandSession::key_character(Key key) {
  return keys().key_character(key);
}
void WaylandSession::pause(std::chrono::milliseconds time) {
  keys().pause(time);
}
unsigned WaylandSession::held_modifiers() {
  return keys().held_modifiers();
}
void WaylandSession::send_key(Key key, bool up) {
  keys().send_key(key, up);
}
void WaylandSession::send_layout_key(std::uint32_t key, bool up) {
  keys().send_layout_key(key, up);
}
bool WaylandSession::send_character(char32_t ch) {
  return keys().send_character(ch);
}

} // namespace teclix::wayland
