// Typing through XTest: the live keyboard map, where each character is, keycodes
// lent for a paste, and the key events sent.
#include "platform/x11/x11_keyboard.h"

#include <algorithm>
#include <clocale>
#include <cstdio>

#include <X11/XKBlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include "platform/x11/x11_keymap_reader.h"
#include "typing/keys.h"
#include "typing/unicode.h"

namespace teclix::x11 {

namespace {

using namespace std::chrono_literals;

// How long the lent keycodes stay after a paste; another paste in that time
// reuses them without a new map change.
constexpr auto kGiveBackIdle = 1s;
// The most that is added to that for a long paste.
constexpr auto kGiveBackLagLimit = 30s;
// Key events sent between flushes of the connection.
constexpr std::size_t kFlushEvery = 128;

} // namespace

Keyboard::Keyboard(const Connection &connection)
    : x_(connection), level3_mask_(level3_mask(connection.display)), lending_(connection) {}

void Keyboard::refresh_map() {
  map_ = read_keymap(x_.display);
  lending_.adopt(map_, reserved_);
  index_ = KeyIndex(map_);
  map_valid_ = true;
}

void Keyboard::ensure_map() {
  if (!map_valid_) {
    refresh_map();
  }
}

void Keyboard::begin_typing(std::u16string_view text, TypingMode mode) {
  typing_ = true;
  typing_started_ = Clock::now();
  give_back_at_.reset();
  refresh_map();
  mode_ = mode;
  needed_.clear();
  needed_cursor_ = 0;
  if (mode == TypingMode::kConsole) {
    // A console client passes keys on by their place on the keyboard: only the
    // main block's keys mean the same on the other side.
    console_index_ = KeyIndex(map_, true);
    dead_key_index_ = DeadKeyIndex(map_, std::setlocale(LC_CTYPE, nullptr));
    return;
  }
  // Characters that no live key of the layout types get lent keycodes, all at
  // once where they fit: every map change makes every client reload its map.
  std::size_t pos = 0;
  while (pos < text.size()) {
    const char32_t ch = next_code_point(text, pos);
    if (ch < 0x20 || ch == 0x7F) {
      continue;
    }
    const std::optional<KeyChoice> choice = index_.find(ch);
    if (!choice || choice->dead) {
      needed_.push_back(char_to_keysym(ch));
    }
  }
  std::vector<KeySym32> distinct = needed_;
  std::sort(distinct.begin(), distinct.end());
  distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
  lending_.leave_out_grabbed(distinct.size());
  if (!needed_.empty() && lending_.size() > 0) {
    // All of them when they fit; else half the keycodes at a time, so that the
    // previous batch keeps its keys while the next one is typed.
    auto batches = plan_batches(needed_, lending_.size());
    if (batches.size() > 1) {
      batches = plan_batches(needed_, lending_.batch_limit());
    }
    lending_.bind(batches.front());
  }
}

void Keyboard::end_typing() {
  typing_ = false;
  mode_ = TypingMode::kDirect;
  XSync(x_.display, False);
  pending_ = 0;
  needed_.clear();
  needed_cursor_ = 0;
  if (lending_.any_lent()) {
    // The receiving window may read its keys well after we sent them (a remote
    // console on a busy machine reads them at its own pace); a key it reads once
    // its keycode has gone back to the map is lost. Leave it as long again as
    // the paste took, twice over, before giving the keycodes back.
    const auto typed_for = Clock::now() - typing_started_;
    give_back_at_ =
        Clock::now() + kGiveBackIdle + std::min<Clock::duration>(2 * typed_for, kGiveBackLagLimit);
  }
}

std::optional<Keyboard::Clock::time_point> Keyboard::give_back_time() const {
  if (!lending_.any_lent()) {
    return std::nullopt;
  }
  return give_back_at_;
}

void Keyboard::give_back_keys() {
  give_back_at_.reset();
  lending_.give_back();
  map_valid_ = false;
}

std::optional<KeyLocation> Keyboard::locate(char32_t ch) const {
  const std::optional<KeyChoice> choice =
      (mode_ == TypingMode::kConsole ? console_index_ : index_).find(ch);
  if (!choice) {
    return std::nullopt;
  }
  return KeyLocation{choice->keycode, choice->modifiers, choice->dead};
}

std::optional<DeadKeySequence> Keyboard::dead_key_sequence(char32_t ch) const {
  return dead_key_sequence_of(dead_key_index_, ch);
}

unsigned Keyboard::held_modifiers() {
  unsigned held = 0;
  for (Modifier m : {kShift, kControl, kAlt, kAltGr, kSuper}) {
    if (!keys_down_with(x_.display, modifier_mask(x_.display, m)).empty()) {
      held |= m;
    }
  }
  return held;
}

std::optional<std::uint32_t> Keyboard::keycode_for_keysym(KeySym32 keysym) {
  ensure_map();
  if (const auto keycode = plain_keycode(map_, keysym)) {
    return keycode;
  }
  if (const auto keycode = lending_.keycode_for(keysym)) {
    return keycode;
  }
  if (lending_.size() > 0) {
    lending_.bind({keysym});
    return lending_.keycode_for(keysym);
  }
  return std::nullopt;
}

void Keyboard::send_key(Key key, bool up) {
  const std::optional<KeySym32> named = keysym_for(key);
  if (!named) {
    return;
  }
  const KeySym keysym = *named;
  const std::optional<Modifier> modifier = key_modifier(key);
  ensure_map();
  if (modifier && up) {
    // Release every key that holds this modifier, not only the left-hand one.
    for (KeyCode kc : keys_down_with(x_.display, modifier_mask(x_.display, *modifier))) {
      fake_key(kc, true);
    }
  }
  std::optional<std::uint32_t> keycode;
  if (modifier) {
    // A modifier key must be a real one: a lent keycode carries no modifier.
    keycode = modifier_keycode(map_, static_cast<KeySym32>(keysym));
    if (!keycode && *modifier == kAltGr) {
      keycode = XKeysymToKeycode(x_.display, XK_Mode_switch);
      if (!*keycode) {
        keycode = XKeysymToKeycode(x_.display, XK_Alt_R);
      }
    }
    if (!keycode || *keycode == 0) {
      keycode = XKeysymToKeycode(x_.display, keysym);
    }
  } else {
    // Keypad keys and any other key the layout lacks at its plain level get a
    // lent keycode, so that the keypad decimal key is KP_Decimal whatever NumLock says.
    keycode = keycode_for_keysym(static_cast<KeySym32>(keysym));
  }
  if (keycode && *keycode != 0) {
    fake_key(*keycode, up);
  }
  if (!typing_) {
    XFlush(x_.display);
    if (up && lending_.any_lent()) {
      give_back_at_ = Clock::now() + kGiveBackIdle;
    }
  }
}

void Keyboard::send_layout_key(std::uint32_t keycode, bool up) {
  fake_key(keycode, up);
}

bool Keyboard::send_character(char32_t ch) {
  const KeySym32 keysym = char_to_keysym(ch);
  // This character is the next of those the text needs lent; when its keycode is
  // not lent yet, the batch that starts with it is.
  const std::size_t index = needed_cursor_;
  if (needed_cursor_ < needed_.size()) {
    ++needed_cursor_;
  }
  if (!lending_.keycode_for(keysym) && lending_.size() > 0) {
    if (index < needed_.size() && needed_[index] == keysym) {
      const std::vector<KeySym32> rest(needed_.begin() + static_cast<std::ptrdiff_t>(index),
                                       needed_.end());
      lending_.bind(plan_batches(rest, lending_.batch_limit()).front());
    } else {
      lending_.bind({keysym});
    }
  }
  const std::optional<std::uint32_t> keycode = lending_.keycode_for(keysym);
  if (!keycode) {
    std::fprintf(stderr, "teclix: no queda ninguna tecla libre para U+%04X\n",
                 static_cast<unsigned>(ch));
    return false;
  }
  const bool shift = (lent_modifiers(keysym, map_.caps_lock) & kShift) != 0;
  const KeyCode shift_key = XKeysymToKeycode(x_.display, XK_Shift_L);
  if (shift && shift_key) {
    fake_key(shift_key, false);
  }
  fake_key(*keycode, false);
  fake_key(*keycode, true);
  if (shift && shift_key) {
    fake_key(shift_key, true);
  }
  return true;
}

std::optional<KeyChoice> Keyboard::key_for_posting(char32_t ch) {
  ensure_map();
  const std::optional<KeyChoice> choice = index_.find(ch);
  if (choice && !choice->dead) {
    return choice;
  }
  // No live key types it: a lent keycode does, for as long as it is lent.
  const KeySym32 keysym = char_to_keysym(ch);
  const std::optional<std::uint32_t> keycode = keycode_for_keysym(keysym);
  if (!keycode) {
    return std::nullopt;
  }
  if (lending_.any_lent()) {
    give_back_at_ = Clock::now() + kGiveBackIdle;
  }
  return KeyChoice{*keycode, lent_modifiers(keysym, map_.caps_lock), false};
}

void Keyboard::fake_key(std::uint32_t keycode, bool up) {
  XTestFakeKeyEvent(x_.display, keycode, up ? False : True, CurrentTime);
  lending_.note_sent(keycode, Clock::now());
  if (++pending_ >= kFlushEvery) {
    XFlush(x_.display);
    pending_ = 0;
  }
}

} // namespace teclix::x11
