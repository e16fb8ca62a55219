// The keyboard map as the X11 backend sees it, and the decisions taken on it:
// which key and level type a character, and which spare keycodes to lend to
// characters that no key produces. Nothing here talks to the X server, so the
// choices can be checked against recorded maps.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/platform.h"

namespace teclix::x11 {

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

// The first keycode whose level without modifiers is the keysym.
std::optional<std::uint32_t> plain_keycode(const Keymap &map, KeySym32 keysym);

// Lends spare keycodes to keysyms. A binding stays until its keycode is needed
// for another keysym; the least recently used one goes first, so the keys of the
// previous batch keep their meaning while the next batch is typed.
class SparePool {
public:
  // spare: keycodes with no keysyms; borrowed: keycodes lent only when the
  // spare ones are all in use (their own keysyms come back afterwards).
  explicit SparePool(std::vector<std::uint32_t> spare, std::vector<std::uint32_t> borrowed = {});

  std::size_t size() const { return keycodes_.size(); }
  // Keysyms that one batch may bind: half the pool, so the previous batch's
  // bindings survive the next one.
  std::size_t batch_limit() const { return keycodes_.size() > 1 ? keycodes_.size() / 2 : 1; }

  std::optional<std::uint32_t> keycode_for(KeySym32 keysym) const;

  struct Change {
    std::uint32_t keycode = 0;
    KeySym32 keysym = kNoSymbol; // kNoSymbol: back to unbound
    bool operator==(const Change &) const = default;
  };
  // Binds every keysym (at most size() of them), reusing bindings already made.
  // Returns the keycodes that change, in keycode order.
  std::vector<Change> bind(const std::vector<KeySym32> &keysyms);
  // Unbinds everything; returns the changes, in keycode order.
  std::vector<Change> release_all();
  bool any_bound() const;
  bool contains(std::uint32_t keycode) const;
  bool is_borrowed(std::uint32_t keycode) const;
  // Borrowed keycodes not bound now.
  std::vector<std::uint32_t> free_borrowed() const;
  // Takes a borrowed keycode that is not bound out of the pool.
  void retire(std::uint32_t keycode);
  // Every keycode of the pool with its keysym (kNoSymbol when free).
  std::vector<Change> slots() const;

private:
  struct Slot {
    std::uint32_t keycode = 0;
    KeySym32 keysym = kNoSymbol;
    std::uint64_t used = 0; // generation of the last bind() that asked for it
  };
  std::vector<Slot> keycodes_;
  std::vector<std::uint32_t> borrowed_; // sorted
  std::uint64_t generation_ = 0;
};

// Splits the characters a text needs bound, in text order, into batches of at
// most limit distinct keysyms each. Returns the keysyms of each batch.
std::vector<std::vector<KeySym32>> plan_batches(const std::vector<KeySym32> &needed,
                                                std::size_t limit);

// Runs of consecutive keycodes among the changes: each is one keyboard-map request.
std::vector<std::vector<SparePool::Change>> contiguous_runs(std::vector<SparePool::Change> changes);

// The map as text, one key a line ("38: a a@S A@G"), for recording and tests.
std::string dump_keymap(const Keymap &map);
std::optional<Keymap> parse_keymap(std::string_view text);

} // namespace teclix::x11
