#include "platform/linux/wayland_session.h"

#include <cstdio>

#include "typing/unicode.h"

namespace teclix::wayland {

std::unique_ptr<WaylandSession> WaylandSession::open(x11::X11Platform &x11) {
  std::unique_ptr<Connection> connection = Connection::open();
  if (!connection) {
    return nullptr;
  }
  std::unique_ptr<WaylandSession> session(new WaylandSession(x11, std::move(connection)));
  if (!session->keyboard_) {
    std::fprintf(stderr, "teclix: ni teclado virtual ni portal de escritorio remoto; se escribe "
                         "por X11\n");
    return nullptr;
  }
  return session;
}

WaylandSession::WaylandSession(x11::X11Platform &x11, std::unique_ptr<Connection> connection)
    : x11_(x11), watch_(x11), connection_(std::move(connection)) {
  keyboard_ = VirtualKeyboard::create(*connection_);
  if (!keyboard_) {
    std::unique_ptr<PortalKeyboard> portal =
        PortalKeyboard::create(connection_.get(), [this] { session_changed(); });
    if (portal) {
      portal_ = portal.get();
      portal_fd_ = portal_->fd();
      watch_while_open(portal_fd_, [this] { return portal_->dispatch(); });
      keyboard_ = std::move(portal);
    }
  }
  clipboard_ = DataControlClipboard::create(*connection_);
  // The compositor's events (keymaps, the clipboard's offers) are read as they
  // come, so that its buffer for this program never fills.
  watch_.watch(connection_->fd(), [this] {
    if (!connection_->dispatch() && !connection_lost_) {
      connection_lost_ = true;
      watch_.unwatch(connection_->fd());
      std::fprintf(stderr, "teclix: se ha perdido la conexión con el compositor Wayland\n");
      session_changed();
    }
    return false;
  });
}

WaylandSession::~WaylandSession() {
  if (shortcut_fd_ >= 0) {
    watch_.unwatch(shortcut_fd_);
  }
  if (!connection_lost_) {
    watch_.unwatch(connection_->fd());
  }
  if (portal_fd_ >= 0) {
    watch_.unwatch(portal_fd_);
  }
  if (input_fd_ >= 0) {
    watch_.unwatch(input_fd_);
  }
  clipboard_.reset();
  keyboard_.reset();
}

Platform WaylandSession::parts() {
  return Platform{x11_, *this, *this, *this, *this, x11_, x11_, x11_};
}

void WaylandSession::session_changed() {
  // The emulated-input server's word (modifiers, a closed connection) is read as it comes.
  if (portal_ && portal_->input_fd() >= 0 && !input_watched_) {
    input_watched_ = true;
    input_fd_ = portal_->input_fd();
    watch_while_open(input_fd_, [this] { return portal_->dispatch_input(); });
  }
  x11_.session_changed();
}

void WaylandSession::watch_while_open(int &fd, std::function<bool()> read) {
  watch_.watch(fd, [this, &fd, read = std::move(read)] {
    if (!read()) {
      // the connection is gone: its descriptor would wake the loop for ever
      watch_.unwatch(fd);
      fd = -1;
    }
    return false;
  });
}

SessionState WaylandSession::session_state() {
  using Keys = SessionState::Keys;
  SessionState state{Keys::kVirtualKeyboard, clipboard_ != nullptr,
                     shortcut_ && shortcut_->bound()};
  if (connection_lost_ && !portal_) {
    std::fprintf(stderr, "teclix: sesión Wayland: sin conexión con el compositor\n");
    state.keys = Keys::kCompositorLost;
    return state;
  }
  if (!portal_) {
    std::fprintf(stderr,
                 "teclix: sesión Wayland: teclado virtual del compositor, portapapeles "
                 "por %s\n",
                 clipboard_ ? "data-control" : "Xwayland");
    return state;
  }
  switch (portal_->state()) {
  case PortalKeyboard::State::kStarting:
    std::fprintf(stderr, "teclix: sesión Wayland: esperando al portal de escritorio remoto\n");
    state.keys = Keys::kPortalStarting;
    break;
  case PortalKeyboard::State::kReady:
    std::fprintf(stderr, "teclix: sesión Wayland: portal de escritorio remoto (versión %u)%s\n",
                 portal_->version(), portal_->emulated() ? ", entrada emulada" : "");
    state.keys = portal_->emulated() ? Keys::kEmulatedInput : Keys::kPortal;
    break;
  case PortalKeyboard::State::kRefused:
    std::fprintf(stderr, "teclix: sesión Wayland: el portal no dio el teclado\n");
    state.keys = Keys::kPortalRefused;
    break;
  case PortalKeyboard::State::kLost:
    std::fprintf(stderr, "teclix: sesión Wayland: el portal de escritorio remoto no responde\n");
    state.keys = Keys::kPortalLost;
    break;
  case PortalKeyboard::State::kClosed:
    std::fprintf(stderr, "teclix: sesión Wayland: el escritorio cerró la sesión del portal\n");
    state.keys = Keys::kPortalClosed;
    break;
  }
  return state;
}

// --- What has the focus ---------------------------------------------------------------------

WaylandSession::Focus WaylandSession::focus() {
  // A paste through a portal session that has gone stops there (the window says
  // why): as if the focus had moved.
  if (typing_with_ && typing_with_ == portal_ &&
      portal_->state() != PortalKeyboard::State::kReady) {
    return Focus{};
  }
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
  // Elsewhere the X11 window manager says when one of its windows is active;
  // when none is, a Wayland window has the focus (which one, no client is told).
  const WindowHandle x11_window = x11_.focused_control();
  if (x11_window != 0 && x11_.x11_window_active().value_or(true)) {
    return Focus{true, x11_window, x11_.focused_target()};
  }
  // A compositor that lists its windows says which one is active.
  if (Toplevels *toplevels = connection_->toplevels()) {
    connection_->dispatch();
    if (const std::optional<Toplevel> active = toplevels->active()) {
      const std::u16string app_id = utf8_to_utf16(active->app_id);
      return Focus{false, kWaylandWindow | active->id,
                   TargetWindow{app_id, app_id, utf8_to_utf16(active->title)}};
    }
  }
  return Focus{false, kWaylandWindow, {}};
}

WindowHandle WaylandSession::focused_control() {
  return focus().handle;
}

TargetWindow WaylandSession::focused_target() {
  return focus().target;
}

CallResult WaylandSession::register_hotkey(Key key, unsigned modifiers) {
  const CallResult result = x11_.register_hotkey(key, modifiers);
  shortcut_ = PortalShortcut::create([this] { session_changed(); });
  if (shortcut_) {
    shortcut_fd_ = shortcut_->fd();
    watch_.watch(shortcut_fd_, [this] {
      const bool pressed = shortcut_->dispatch();
      if (shortcut_->lost()) {
        watch_.unwatch(shortcut_fd_);
        shortcut_fd_ = -1;
      }
      return pressed;
    });
  }
  return result;
}

void WaylandSession::unregister_hotkey() {
  if (shortcut_fd_ >= 0) {
    watch_.unwatch(shortcut_fd_);
    shortcut_fd_ = -1;
  }
  shortcut_.reset();
  x11_.unregister_hotkey();
}

bool WaylandSession::take_paste_press() {
  if (x11_.take_paste_request()) {
    return true;
  }
  const bool portal = shortcut_ && shortcut_->take();
  const bool x11 = x11_.take_key_press();
  if (!portal && !x11) {
    return false;
  }
  // A desktop may hand its shortcut's key to Xwayland as well (KWin 6 does with
  // keys that type no character): one press of F10 then comes both ways, one
  // soon after the other or after the paste it started. It pastes once.
  const auto now = std::chrono::steady_clock::now();
  const PressFrom from = portal && x11 ? PressFrom::kBoth
                         : portal      ? PressFrom::kPortal
                                       : PressFrom::kX11;
  const bool other_half = from != PressFrom::kBoth && last_press_from_ != PressFrom::kBoth &&
                          from != last_press_from_ && now - last_press_at_ < kOnePress;
  last_press_from_ = other_half ? PressFrom::kBoth : from;
  last_press_at_ = now;
  return !other_half;
}

std::optional<std::u16string> WaylandSession::clipboard_text() {
  if (!clipboard_) {
    return x11_.clipboard_text();
  }
  std::optional<std::u16string> text = clipboard_->clipboard_text();
  if (!text && clipboard_->read_nothing()) {
    // The compositor hands the same clipboard to Xwayland, which may read it.
    text = x11_.clipboard_text();
  }
  return text;
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
  x11_.drop_paste_requests();
  last_press_at_ = std::chrono::steady_clock::now();
}

// Outside a paste (a key on its own) the keys go to the Wayland keyboard.
KeyboardOutput &WaylandSession::keys() {
  return typing_with_ ? *typing_with_ : *keyboard_;
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
