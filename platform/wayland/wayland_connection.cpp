#include "platform/wayland/wayland_connection.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>

#include <wayland-client.h>

#include "input-method-unstable-v2-client-protocol.h"
#include "kde-keystate-client-protocol.h"
#include "virtual-keyboard-unstable-v1-client-protocol.h"
#include "wlr-data-control-unstable-v1-client-protocol.h"
#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

namespace teclix::wayland {

namespace {

const wl_registry_listener kRegistryListener = {
    Connection::on_global,
    [](void *, wl_registry *, uint32_t) {},
};

const wl_seat_listener kSeatListener = {
    Connection::on_capabilities,
    [](void *, wl_seat *, const char *) {},
};

const wl_keyboard_listener kKeyboardListener = {
    Connection::on_keymap,
    [](void *, wl_keyboard *, uint32_t, wl_surface *, wl_array *) {},
    [](void *, wl_keyboard *, uint32_t, wl_surface *) {},
    [](void *, wl_keyboard *, uint32_t, uint32_t, uint32_t, uint32_t) {},
    [](void *, wl_keyboard *, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {},
    [](void *, wl_keyboard *, int32_t, int32_t) {},
};

const org_kde_kwin_keystate_listener kKeyStateListener = {Connection::on_key_state};

} // namespace

std::unique_ptr<Connection> Connection::open() {
  const char *name = std::getenv("WAYLAND_DISPLAY");
  if (!name || !*name) {
    return nullptr;
  }
  wl_display *display = wl_display_connect(nullptr);
  if (!display) {
    std::fprintf(stderr, "teclix: no se pudo conectar con el compositor Wayland %s\n", name);
    return nullptr;
  }
  std::unique_ptr<Connection> connection(new Connection());
  connection->display_ = display;
  connection->registry_ = wl_display_get_registry(display);
  wl_registry_add_listener(connection->registry_, &kRegistryListener, connection.get());
  // The globals, then the seat's capabilities.
  if (wl_display_roundtrip(display) < 0 || wl_display_roundtrip(display) < 0) {
    return nullptr;
  }
  return connection;
}

Connection::~Connection() {
  toplevels_.reset();
  if (key_state_) {
    if (key_state_version_ >= 4) {
      org_kde_kwin_keystate_destroy(key_state_);
    } else {
      wl_proxy_destroy(reinterpret_cast<wl_proxy *>(key_state_));
    }
  }
  if (keyboard_) {
    wl_keyboard_destroy(keyboard_);
  }
  if (keyboard_manager_) {
    zwp_virtual_keyboard_manager_v1_destroy(keyboard_manager_);
  }
  if (data_control_) {
    zwlr_data_control_manager_v1_destroy(data_control_);
  }
  if (seat_) {
    wl_seat_destroy(seat_);
  }
  if (registry_) {
    wl_registry_destroy(registry_);
  }
  wl_display_disconnect(display_);
}

void Connection::on_global(void *data, wl_registry *registry, unsigned name, const char *interface,
                           unsigned version) {
  auto *self = static_cast<Connection *>(data);
  const std::string_view which(interface);
  if (which == wl_seat_interface.name && !self->seat_) {
    // The first seat is the user's (a compositor with several is rare).
    self->seat_ = static_cast<wl_seat *>(
        wl_registry_bind(registry, name, &wl_seat_interface, std::min(version, 5u)));
    wl_seat_add_listener(self->seat_, &kSeatListener, self);
  } else if (which == zwp_virtual_keyboard_manager_v1_interface.name) {
    self->keyboard_manager_ = static_cast<zwp_virtual_keyboard_manager_v1 *>(
        wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
  } else if (which == org_kde_kwin_keystate_interface.name) {
    self->key_state_version_ = std::min(version, 5u);
    self->key_state_ = static_cast<org_kde_kwin_keystate *>(wl_registry_bind(
        registry, name, &org_kde_kwin_keystate_interface, self->key_state_version_));
    org_kde_kwin_keystate_add_listener(self->key_state_, &kKeyStateListener, self);
    org_kde_kwin_keystate_fetchStates(self->key_state_);
  } else if (which == zwlr_foreign_toplevel_manager_v1_interface.name && !self->toplevels_) {
    self->toplevels_ = std::make_unique<Toplevels>(registry, name, version);
  } else if (which == zwp_input_method_manager_v2_interface.name) {
    self->input_method_manager_ = static_cast<zwp_input_method_manager_v2 *>(
        wl_registry_bind(registry, name, &zwp_input_method_manager_v2_interface, 1));
  } else if (which == zwlr_data_control_manager_v1_interface.name) {
    self->data_control_ = static_cast<zwlr_data_control_manager_v1 *>(
        wl_registry_bind(registry, name, &zwlr_data_control_manager_v1_interface, 1));
  }
}

void Connection::on_capabilities(void *data, wl_seat *, unsigned capabilities) {
  auto *self = static_cast<Connection *>(data);
  self->seat_capabilities_ = capabilities;
  self->take_keyboard();
}

void Connection::on_keymap(void *data, wl_keyboard *, unsigned format, int fd, unsigned size) {
  auto *self = static_cast<Connection *>(data);
  std::string text;
  if (format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 && size > 0) {
    void *mapped = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (mapped != MAP_FAILED) {
      text.assign(static_cast<const char *>(mapped),
                  strnlen(static_cast<const char *>(mapped), size));
      munmap(mapped, size);
    }
  }
  close(fd);
  if (!text.empty() && self->on_keymap_) {
    self->on_keymap_(std::move(text));
  }
}

void Connection::take_keyboard() {
  const bool has = (seat_capabilities_ & WL_SEAT_CAPABILITY_KEYBOARD) != 0;
  if (has && !keyboard_ && on_keymap_) {
    keyboard_ = wl_seat_get_keyboard(seat_);
    wl_keyboard_add_listener(keyboard_, &kKeyboardListener, this);
  } else if (!has && keyboard_) {
    wl_keyboard_destroy(keyboard_);
    keyboard_ = nullptr;
  }
}

void Connection::watch_keymap(std::function<void(std::string)> on_keymap) {
  on_keymap_ = std::move(on_keymap);
  take_keyboard();
}

int Connection::fd() const {
  return wl_display_get_fd(display_);
}

bool Connection::flush() {
  while (wl_display_flush(display_) < 0) {
    if (errno != EAGAIN) {
      return false;
    }
    pollfd p{fd(), POLLOUT, 0};
    poll(&p, 1, 1000);
  }
  return true;
}

bool Connection::dispatch() {
  if (!flush()) {
    return false;
  }
  // Reads only what is there: prepare, look, read or cancel.
  while (wl_display_prepare_read(display_) != 0) {
    if (wl_display_dispatch_pending(display_) < 0) {
      return false;
    }
  }
  pollfd p{fd(), POLLIN, 0};
  if (poll(&p, 1, 0) > 0 && (p.revents & POLLIN)) {
    if (wl_display_read_events(display_) < 0) {
      return false;
    }
  } else {
    wl_display_cancel_read(display_);
  }
  // What the events asked for (a keyboard for a new capability, say) goes out
  // now: the compositor may have nothing more to say until it has it.
  return wl_display_dispatch_pending(display_) >= 0 && flush();
}

void Connection::on_key_state(void *data, org_kde_kwin_keystate *, unsigned key, unsigned state) {
  auto *self = static_cast<Connection *>(data);
  if (key == ORG_KDE_KWIN_KEYSTATE_KEY_CAPSLOCK) {
    self->key_states_.caps_lock =
        state == ORG_KDE_KWIN_KEYSTATE_STATE_LOCKED || state == ORG_KDE_KWIN_KEYSTATE_STATE_LATCHED;
  } else if (key >= ORG_KDE_KWIN_KEYSTATE_KEY_ALT && key <= ORG_KDE_KWIN_KEYSTATE_KEY_ALTGR) {
    const unsigned bit = 1u << key;
    const bool held = state == ORG_KDE_KWIN_KEYSTATE_STATE_PRESSED ||
                      state == ORG_KDE_KWIN_KEYSTATE_STATE_LATCHED;
    self->modifiers_held_ = held ? self->modifiers_held_ | bit : self->modifiers_held_ & ~bit;
    self->key_states_.modifiers_held = self->modifiers_held_ != 0;
  }
}

std::optional<KeyStates> Connection::key_states() {
  if (!key_state_) {
    return std::nullopt;
  }
  org_kde_kwin_keystate_fetchStates(key_state_);
  if (!roundtrip()) {
    return std::nullopt;
  }
  return key_states_;
}

bool Connection::roundtrip() {
  return flush() && wl_display_roundtrip(display_) >= 0;
}

bool Connection::wait_for(const std::function<bool()> &done, std::chrono::milliseconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (true) {
    if (!dispatch()) {
      return false;
    }
    if (done()) {
      return true;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        until - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      return false;
    }
    pollfd p{fd(), POLLIN, 0};
    poll(&p, 1, static_cast<int>(left.count()) + 1);
  }
}

} // namespace teclix::wayland
