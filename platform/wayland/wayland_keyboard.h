// Typing through a virtual keyboard of the compositor's seat: the user's own
// keymap, with spare keycodes bound to the characters it lacks, uploaded as
// this keyboard's map; the keyboard's modifier state is its own. Where the
// focused window takes text from an input method, the text goes that way, in
// pieces the window says it has applied, and only the keys (Enter, Tab, the
// keypad's decimal key) go as keys, in their place.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/wayland/input_method.h"
#include "platform/wayland/key_pace.h"
#include "platform/wayland/wayland_connection.h"
#include "platform/wayland/wayland_keymap.h"

struct zwp_virtual_keyboard_v1;
struct xkb_state;

namespace teclix::wayland {

class VirtualKeyboard : public KeyboardOutput {
public:
  // nullptr when the compositor offers no virtual keyboard.
  static std::unique_ptr<VirtualKeyboard> create(Connection &connection);
  ~VirtualKeyboard() override;

  // Reads the user's keymap again if it changed, binds keycodes for the
  // characters of the text that no key types and uploads the map if it changed.
  void begin_typing(std::u16string_view text, TypingMode mode,
                    std::function<bool()> keep_typing) override;
  // Lets go of any key still down and sends everything.
  void end_typing() override;
  std::optional<KeyLocation> locate(char32_t ch) override;
  std::optional<DeadKeySequence> dead_key_sequence(char32_t ch) override;
  std::optional<char32_t> key_character(Key key) override;
  void pause(std::chrono::milliseconds time) override;
  // The user's keys do not touch this keyboard's state: none are in the way.
  unsigned held_modifiers() override { return 0; }
  void send_key(Key key, bool up) override;
  void send_layout_key(std::uint32_t key, bool up) override;
  bool send_character(char32_t ch) override;

private:
  VirtualKeyboard(Connection &connection, zwp_virtual_keyboard_v1 *keyboard);
  void adopt_user_keymap();
  void upload();
  void key(std::uint32_t keycode, bool up);
  void send_modifiers();
  std::optional<std::uint32_t> keycode_for_keysym(KeySym32 keysym);
  // Hands the text gathered for the input method to the window.
  void commit_text();
  // Types text as keys: what was gathered for a window that stopped taking it.
  void type_as_keys(std::string_view utf8);

  struct StateFree {
    void operator()(xkb_state *state) const;
  };

  Connection &connection_;
  zwp_virtual_keyboard_v1 *keyboard_;
  std::string user_text_; // the user's keymap as the compositor last handed it out
  bool user_changed_ = true;
  std::optional<CompiledKeymap> user_;
  Keymap map_;
  xkb::KeyIndex index_, console_index_;
  xkb::DeadKeyIndex dead_key_index_;
  xkb::SparePool pool_{{}};
  std::string uploaded_text_;
  std::unique_ptr<xkb_state, StateFree> state_;
  std::set<std::uint32_t> down_;
  unsigned sent_mods_[4] = {~0u, ~0u, ~0u, ~0u};
  TypingMode mode_ = TypingMode::kDirect;
  std::vector<KeySym32> needed_;
  std::size_t needed_cursor_ = 0;
  std::string socket_path_;
  KeyPace pace_;
  std::function<bool()> keep_typing_;
  std::unique_ptr<InputMethod> input_method_; // for this paste's window, if it takes text
  std::string text_;                          // gathered for it, not yet committed
  std::optional<std::string> before_keys_;    // its text before keys sent since the last piece
  bool text_refused_ = false; // the window did not apply a piece: nothing more is typed
  std::chrono::steady_clock::time_point epoch_ = std::chrono::steady_clock::now();
};

} // namespace teclix::wayland
