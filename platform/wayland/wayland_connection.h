// The connection to the Wayland compositor: the globals Teclix uses (the seat,
// the virtual keyboard manager, data control, input methods, the list of
// windows) and the keymap the seat hands out.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/wayland/toplevels.h"

struct wl_display;
struct wl_registry;
struct wl_seat;
struct wl_keyboard;
struct zwp_virtual_keyboard_manager_v1;
struct zwlr_data_control_manager_v1;
struct org_kde_kwin_keystate;
struct zwp_input_method_manager_v2;

namespace teclix::wayland {

// What KWin says of the user's keys: Caps Lock, and the modifiers held.
struct KeyStates {
  bool caps_lock = false;
  bool modifiers_held = false; // Shift, Control, Alt, AltGr or Super (KWin 6)
};

class Connection {
public:
  // Connects to $WAYLAND_DISPLAY; nullptr when there is none or it fails.
  static std::unique_ptr<Connection> open();
  ~Connection();
  Connection(const Connection &) = delete;
  Connection &operator=(const Connection &) = delete;

  wl_display *display() const { return display_; }
  wl_seat *seat() const { return seat_; }
  zwp_virtual_keyboard_manager_v1 *keyboard_manager() const { return keyboard_manager_; }
  zwlr_data_control_manager_v1 *data_control() const { return data_control_; }
  zwp_input_method_manager_v2 *input_method_manager() const { return input_method_manager_; }
  // The compositor's windows, where it lists them; nullptr where it does not.
  Toplevels *toplevels() const { return toplevels_.get(); }
  int fd() const;

  // Starts listening to the seat's keyboard (once it has one), whose keymap the
  // compositor hands out again on every change; on_keymap gets each text.
  void watch_keymap(std::function<void(std::string)> on_keymap);
  // Reads and handles what came in, without blocking. False once the
  // connection is broken.
  bool dispatch();
  // Sends every request written, waiting for room on the socket. False once
  // the connection is broken.
  bool flush();
  // Sends everything and waits until the compositor has handled it.
  bool roundtrip();
  // Handles events as they come until done() says so (true) or for at most
  // limit (false); false too once the connection is broken.
  bool wait_for(const std::function<bool()> &done, std::chrono::milliseconds limit);
  // The user's key states as the compositor says them now, where it does (KWin's
  // key-state protocol, offered to programs whose desktop entry asks for it).
  std::optional<KeyStates> key_states();

  // The compositor's events (listener callbacks).
  static void on_global(void *data, wl_registry *registry, unsigned name, const char *interface,
                        unsigned version);
  static void on_capabilities(void *data, wl_seat *seat, unsigned capabilities);
  static void on_keymap(void *data, wl_keyboard *keyboard, unsigned format, int fd, unsigned size);
  static void on_key_state(void *data, org_kde_kwin_keystate *keystate, unsigned key,
                           unsigned state);

private:
  Connection() = default;
  void take_keyboard();

  wl_display *display_ = nullptr;
  wl_registry *registry_ = nullptr;
  wl_seat *seat_ = nullptr;
  unsigned seat_capabilities_ = 0;
  wl_keyboard *keyboard_ = nullptr;
  zwp_virtual_keyboard_manager_v1 *keyboard_manager_ = nullptr;
  zwlr_data_control_manager_v1 *data_control_ = nullptr;
  org_kde_kwin_keystate *key_state_ = nullptr;
  zwp_input_method_manager_v2 *input_method_manager_ = nullptr;
  std::unique_ptr<Toplevels> toplevels_;
  unsigned key_state_version_ = 0;
  KeyStates key_states_;
  unsigned modifiers_held_ = 0; // one bit a modifier key
  std::function<void(std::string)> on_keymap_;
};

} // namespace teclix::wayland
