// Typing through the desktop portal's remote-desktop session
// (org.freedesktop.portal.RemoteDesktop, over the session bus), where the
// compositor offers no virtual keyboard to ordinary programs (GNOME, KDE): key
// events of the user's own layout, by keycode where its keymap is known.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "platform/platform.h"
#include "platform/wayland/emulated_input.h"
#include "platform/wayland/key_pace.h"
#include "platform/wayland/portal_request.h"
#include "platform/wayland/wayland_connection.h"
#include "platform/wayland/wayland_keymap.h"

#include <systemd/sd-bus.h>

namespace teclix::wayland {

class PortalKeyboard : public KeyboardOutput {
public:
  // kLost: the portal stopped answering, or the bus went away.
  enum class State { kStarting, kReady, kRefused, kClosed, kLost };

  // nullptr when the session bus has no remote-desktop portal with a keyboard.
  // The session is asked for at once; on_change hears when its state changes.
  // keymaps: the Wayland connection that hands out the user's keymap, if any.
  static std::unique_ptr<PortalKeyboard> create(Connection *keymaps,
                                                std::function<void()> on_change);
  ~PortalKeyboard() override;

  State state() const { return state_; }
  unsigned version() const { return version_; }
  // Whether keys go through the compositor's emulated-input server (libei)
  // rather than one D-Bus call each.
  bool emulated() const { return emulated_ != nullptr; }
  // The emulated-input connection's descriptor (-1 without one), and what to do
  // when it has data; false once it is over.
  int input_fd() const { return emulated_ ? emulated_->fd() : -1; }
  bool dispatch_input();
  // The bus's descriptor, and what to do when it has data; false once the bus
  // is gone (the descriptor is then to be watched no more).
  int fd() const;
  bool dispatch();

  void begin_typing(std::u16string_view text, TypingMode mode,
                    std::function<bool()> keep_typing) override;
  void end_typing() override;
  std::optional<KeyLocation> locate(char32_t ch) override;
  std::optional<DeadKeySequence> dead_key_sequence(char32_t ch) override;
  std::optional<char32_t> key_character(Key key) override;
  void pause(std::chrono::milliseconds time) override;
  // The portal's keys and the user's share one keyboard state: the user's held
  // keys are not known here, so none are let go.
  unsigned held_modifiers() override { return 0; }
  void send_key(Key key, bool up) override;
  void send_layout_key(std::uint32_t key, bool up) override;
  // A character no live key types: through its dead key where the layout has
  // one, else not at all.
  bool send_character(char32_t ch) override;

  // The desktop closed the session (a bus callback).
  static int on_closed(sd_bus_message *message, void *data, sd_bus_error *error);

private:
  PortalKeyboard(sd_bus *bus, unsigned version, std::function<void()> on_change);
  // Sends a request of the remote-desktop portal's; a failed call refuses.
  void request(const char *method, const PortalRequests::Append &args,
               const PortalRequests::Append &options, PortalRequests::Answer answer);
  void create_session();
  void select_devices();
  void start();
  // Asks the portal for the emulated-input socket and waits for its keyboard.
  // false where the portal offers none (keys then go by D-Bus).
  bool connect_emulated_input();
  // The key states the emulated-input server reports.
  void read_emulated_states();
  KeyPace &pace() { return emulated_ ? emulated_pace_ : pace_; }
  void set_state(State state);
  // Gives the session up: the portal did not answer (what, and why).
  void lose(const char *what, const sd_bus_error &error);
  // Waits a moment for the seat's keymap when none has come yet.
  void wait_for_keymap();
  // The keymap's layout the desktop has active, as far as it says.
  unsigned active_layout();
  // Caps Lock and the modifiers the user holds, where the desktop says them.
  void read_key_states();
  void compile_keymap();
  void adopt_keymap();
  void keycode(std::uint32_t keycode, bool up);
  void keysym(std::uint32_t keysym, bool up);
  // One key event through the emulated-input server; false when it was not sent.
  bool emulate(std::uint32_t evdev_code, bool up);
  // One key event through the portal's method; false when it was not taken.
  bool notify(const char *method, int key, bool up);
  void tap_modifiers(unsigned modifiers, bool up);
  // Nothing more is typed in this paste: a modifier held, or the target stopped reading.
  bool stopped() { return held_ || pace().gave_up(); }

  sd_bus *bus_;
  unsigned version_;
  std::function<void()> on_change_;
  State state_ = State::kStarting;
  std::string session_;
  PortalRequests requests_;
  sd_bus_slot *closed_slot_ = nullptr;
  Connection *keymaps_ = nullptr;
  std::string keymap_text_;
  bool keymap_changed_ = false;
  bool keys_stale_ = false; // a keymap compiled since map_ was made
  unsigned layout_ = 0;
  bool caps_lock_ = false, keys_caps_lock_ = false; // now, and when map_ was made
  bool held_ = false; // the user held a modifier through kHeldWait: nothing is typed
  static constexpr std::chrono::milliseconds kHeldWait{1500};
  std::optional<CompiledKeymap> keymap_;
  Keymap map_;
  xkb::KeyIndex index_, console_index_;
  bool first_key_sent_ = false;
  bool token_refused_ = false;
  xkb::DeadKeyIndex dead_key_index_;
  TypingMode mode_ = TypingMode::kDirect;
  std::set<std::uint32_t> down_;
  KeyPace pace_{16}; // D-Bus calls each make a write of the compositor's: few at a time
  std::unique_ptr<EmulatedInput> emulated_;
  KeyPace emulated_pace_{128}; // as the virtual keyboard's: a round trip after each batch
};

} // namespace teclix::wayland
