// The keyboard map as X11 and Wayland both see it (XKB's model: keycodes,
// levels, keysyms), and the decisions taken on it: which key and level type a
// character (the spare keycodes bound to characters that no key produces are in
// spare_keycodes.h), the keysyms of named keys. Nothing here talks to a display
// server, so the choices can be checked against recorded maps.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/platform.h"

namespace teclix::xkb {

using KeySym32 = std::uint32_t;

inline constexpr KeySym32 kNoSymbol = 0;
inline constexpr KeySym32 kKpDecimal = 0xFFAE;
// Marks a level reached only with modifiers the typing does not press
// (Control, Alt, NumLock, ...).
inline constexpr unsigned kUnreachable = 0x8000;

// One level of a key in the active group: its keysym and the Modifier bits
// (kShift, kAltGr) that select it, or kUnreachable.
struct KeyLevel {
  KeySym32 keysym = kNoSymbol;
  unsigned modifiers = 0;
};

struct MapKey {
  std::uint32_t keycode = 0;
  std::vector<KeyLevel> levels;
  // A key of the main block (letters, digits, punctuation, space), where a
  // keyboard has it for everyone: what a console client passes on as a scan code.
  bool main_block = false;
  // The right Alt key (RALT), which a keyboard has where a layout puts AltGr.
  bool right_alt = false;
};

// Whether an XKB key name ("AE01", "TLDE", ...) is a key of the main block.
bool is_main_block_key_name(std::string_view name);

// The keys of one group of the keyboard map, in keycode order.
struct Keymap {
  std::uint32_t min_keycode = 8;
  std::uint32_t max_keycode = 255;
  std::vector<MapKey> keys;          // keys with at least one keysym in the group
  std::vector<std::uint32_t> unused; // keycodes with no keysym in any group, not modifiers
  // Keycodes whose keysyms are all vendor keysyms (media and launch keys), not
  // modifiers: they may be borrowed for a paste and given back as they were.
  std::vector<std::uint32_t> borrowable;
  // Caps Lock was on when the map was read: each level's modifiers allow for it.
  bool caps_lock = false;
};

// The character a keysym types, or 0 when it types none.
char32_t keysym_to_char(KeySym32 keysym);
// The keysym that stands for a character: its legacy keysym where there is one,
// else the Unicode keysym (0x01000000 + code point).
KeySym32 char_to_keysym(char32_t ch);
bool is_dead_keysym(KeySym32 keysym);
bool is_keypad_keysym(KeySym32 keysym);
// The XFree86 vendor keysyms: media, launch and power keys, which type nothing.
bool is_vendor_keysym(KeySym32 keysym);

// Where a key of the map types a character.
struct KeyChoice {
  std::uint32_t keycode = 0;
  unsigned modifiers = 0;
  bool dead = false;
};

// The key and level that type ch with the fewest modifiers (Shift before AltGr),
// lowest keycode first among equals. Keypad keys are left out: what they type
// depends on NumLock. A character found only on a dead key comes back dead.
std::optional<KeyChoice> choose_key(const Keymap &map, char32_t ch);

// The same choices for every character of a map at once, read in one pass, so
// that typing looks each character up instead of searching the map.
class KeyIndex {
public:
  KeyIndex() = default;
  // main_block_only: only keys of the main block, as a console needs.
  explicit KeyIndex(const Keymap &map, bool main_block_only = false);
  std::optional<KeyChoice> find(char32_t ch) const;

private:
  std::unordered_map<char32_t, KeyChoice> best_;
};

// Characters that the map types with a dead key of the main block followed by a
// live key of the main block, under the compose rules of a locale (those of the
// X11 input method, which clients use for dead keys).
class DeadKeyIndex {
public:
  struct Sequence {
    KeyChoice dead;
    KeyChoice base;
  };
  DeadKeyIndex() = default;
  DeadKeyIndex(const Keymap &map, const char *locale);
  std::optional<Sequence> find(char32_t ch) const;

private:
  std::unordered_map<char32_t, Sequence> sequences_;
};

// The sequence of the index for ch, as the typing asks for it.
std::optional<DeadKeySequence> dead_key_sequence_of(const DeadKeyIndex &index, char32_t ch);

// The first keycode whose level without modifiers is the keysym.
std::optional<std::uint32_t> plain_keycode(const Keymap &map, KeySym32 keysym);
// The key to hold for a modifier keysym: for AltGr the right Alt key where it is
// AltGr, as on a keyboard (a console client passes on its scan code), else the
// first key that is the keysym.
std::optional<std::uint32_t> modifier_keycode(const Keymap &map, KeySym32 keysym);

// The map as text, one key a line ("38: a a@S A@G"), for recording and tests.
std::string dump_keymap(const Keymap &map);
std::optional<Keymap> parse_keymap(std::string_view text);

// The keysym of a named key; nullopt for the punctuation keys, whose keysym
// depends on the layout.
std::optional<KeySym32> keysym_for(Key key);
// What clients write for a named key's keysym (a dot for the keypad decimal key).
std::optional<char32_t> key_character(Key key);

} // namespace teclix::xkb
