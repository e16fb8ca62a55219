// Typing through XTest: the live keyboard map, where each character is, keycodes
// lent for a paste, and the key events sent.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include <X11/Xlib.h>

#include "platform/platform.h"
#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_key_lending.h"
#include "platform/xkb/keymap.h"

namespace teclix::x11 {

using namespace teclix::xkb; // the keyboard-map model and keysyms X11 shares with Wayland

class Keyboard {
public:
  using Clock = std::chrono::steady_clock;

  explicit Keyboard(const Connection &connection);
  // Gives every lent keycode back.
  ~Keyboard() { give_back_keys(); }
  Keyboard(const Keyboard &) = delete;
  Keyboard &operator=(const Keyboard &) = delete;

  // A keycode that is never lent (the hotkey's).
  void reserve(unsigned keycode) { reserved_ = keycode; }
  // The server's map changed: it is read again before the next use.
  void map_changed() { map_valid_ = false; }

  // Reads the map, and lends keycodes at once to the characters of the text that
  // no key types: all of them where they fit, else the first batch.
  // For a console, no keycode is lent and only keys of the main block are used.
  void begin_typing(std::u16string_view text, TypingMode mode);
  void end_typing();
  // The live key and level of the map that types ch (a dead key comes back dead);
  // nullopt for characters that need a lent keycode. A pure look-up.
  std::optional<KeyLocation> locate(char32_t ch) const;
  // The dead key and base key of the main block that type ch.
  std::optional<DeadKeySequence> dead_key_sequence(char32_t ch) const;
  // Modifiers held down now.
  unsigned held_modifiers();

  // One event of a named key. A modifier's release lets go of every key that
  // holds it; a key the layout lacks at its plain level gets a lent keycode.
  void send_key(Key key, bool up);
  // One event of a key that locate() returned.
  void send_layout_key(std::uint32_t keycode, bool up);
  // Types a character that no live key types, on its lent keycode, lending the
  // next batch when its turn comes.
  bool send_character(char32_t ch);

  // The key and modifiers that type ch for a key event sent to a window, lending
  // a keycode when no live key types it; nullopt when none is left.
  std::optional<KeyChoice> key_for_posting(char32_t ch);
  // A keycode for a keysym: a live one at the plain level, else a lent one.
  std::optional<std::uint32_t> keycode_for_keysym(KeySym32 keysym);
  // The map's Caps Lock state and the X modifier bits of AltGr, for posted events.
  bool map_caps_lock() const { return map_.caps_lock; }
  unsigned level3() const { return level3_mask_; }
  void note_posted(std::uint32_t keycode) { lending_.note_sent(keycode, Clock::now()); }

  // When the lent keycodes should go back (after a paste or a key outside one),
  // if any are lent; give_back_keys() does it.
  std::optional<Clock::time_point> give_back_time() const;
  void give_back_keys();

private:
  void ensure_map();
  void refresh_map();
  void fake_key(std::uint32_t keycode, bool up);

  const Connection &x_;
  unsigned level3_mask_;
  unsigned reserved_ = 0;
  Keymap map_;
  KeyIndex index_; // the best key for each character of map_
  TypingMode mode_ = TypingMode::kDirect;
  KeyIndex console_index_;      // the same, keys of the main block only
  DeadKeyIndex dead_key_index_; // dead key sequences of the main block
  bool map_valid_ = false;
  KeyLending lending_;
  std::vector<KeySym32> needed_; // keysyms the current text needs lent, in text order
  std::size_t needed_cursor_ = 0;
  bool typing_ = false;
  Clock::time_point typing_started_{};
  std::optional<Clock::time_point> give_back_at_;
  std::size_t pending_ = 0; // key events not yet flushed
};

} // namespace teclix::x11
