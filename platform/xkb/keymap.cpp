#include "platform/xkb/keymap.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <sstream>
#include <tuple>

#include <xkbcommon/xkbcommon-compose.h>
#include <xkbcommon/xkbcommon.h>

#include "typing/unicode.h"

namespace teclix::xkb {

namespace {

// The spacing character each dead key stands for, so that a character found
// only on a dead key is known to be there and typed another way.
struct DeadKey {
  KeySym32 keysym;
  char32_t ch;
};
constexpr DeadKey kDeadKeys[] = {
    {0xFE50, U'`'},      {0xFE51, U'\u00B4'}, {0xFE52, U'^'},      {0xFE53, U'~'},
    {0xFE54, U'\u00AF'}, {0xFE55, U'\u02D8'}, {0xFE56, U'\u02D9'}, {0xFE57, U'\u00A8'},
    {0xFE58, U'\u02DA'}, {0xFE59, U'\u02DD'}, {0xFE5A, U'\u02C7'}, {0xFE5B, U'\u00B8'},
    {0xFE5C, U'\u02DB'},
};

char32_t dead_key_char(KeySym32 keysym) {
  for (const DeadKey &d : kDeadKeys) {
    if (d.keysym == keysym) {
      return d.ch;
    }
  }
  return 0;
}

int modifier_count(unsigned modifiers) {
  return __builtin_popcount(modifiers);
}

std::string modifier_text(unsigned modifiers) {
  if (modifiers & kUnreachable) {
    return "X";
  }
  std::string s;
  if (modifiers & kShift) {
    s += 'S';
  }
  if (modifiers & kAltGr) {
    s += 'G';
  }
  return s.empty() ? "-" : s;
}

std::optional<unsigned> parse_modifiers(std::string_view s) {
  if (s == "-") {
    return 0u;
  }
  if (s == "X") {
    return kUnreachable;
  }
  unsigned m = 0;
  for (char c : s) {
    if (c == 'S') {
      m |= kShift;
    } else if (c == 'G') {
      m |= kAltGr;
    } else {
      return std::nullopt;
    }
  }
  return m;
}

template <typename T> std::optional<T> parse_number(std::string_view s, int base) {
  if (base == 16 && s.starts_with("0x")) {
    s.remove_prefix(2);
  }
  T value{};
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value, base);
  if (ec != std::errc() || end != s.data() + s.size()) {
    return std::nullopt;
  }
  return value;
}

} // namespace

char32_t keysym_to_char(KeySym32 keysym) {
  return xkb_keysym_to_utf32(keysym);
}

KeySym32 char_to_keysym(char32_t ch) {
  const KeySym32 keysym = xkb_utf32_to_keysym(ch);
  return keysym != kNoSymbol ? keysym : 0x01000000u + ch;
}

bool is_dead_keysym(KeySym32 keysym) {
  return keysym >= 0xFE50 && keysym <= 0xFE8F;
}

bool is_keypad_keysym(KeySym32 keysym) {
  return keysym >= 0xFF80 && keysym <= 0xFFBD;
}

bool is_vendor_keysym(KeySym32 keysym) {
  return keysym >= 0x10080000 && keysym <= 0x1008FFFF;
}

namespace {

// Live keys before dead ones, then fewer modifiers, then Shift before AltGr.
auto choice_rank(const KeyChoice &c) {
  return std::make_tuple(c.dead, modifier_count(c.modifiers), (c.modifiers & kAltGr) != 0,
                         c.keycode);
}

// Calls visit(character, choice) for every level of the map that types a character.
template <typename Visit>
void for_each_choice(const Keymap &map, Visit visit, bool main_block_only = false) {
  for (const MapKey &key : map.keys) {
    if (main_block_only && !key.main_block) {
      continue;
    }
    for (const KeyLevel &level : key.levels) {
      if (level.keysym == kNoSymbol || (level.modifiers & kUnreachable) ||
          is_keypad_keysym(level.keysym)) {
        continue;
      }
      const bool dead = is_dead_keysym(level.keysym);
      const char32_t produced = dead ? dead_key_char(level.keysym) : keysym_to_char(level.keysym);
      if (produced != 0) {
        visit(produced, KeyChoice{key.keycode, level.modifiers, dead});
      }
    }
  }
}

} // namespace

std::optional<KeyChoice> choose_key(const Keymap &map, char32_t ch) {
  std::optional<KeyChoice> best;
  for_each_choice(map, [&](char32_t produced, const KeyChoice &candidate) {
    if (produced == ch && (!best || choice_rank(candidate) < choice_rank(*best))) {
      best = candidate;
    }
  });
  return best;
}

KeyIndex::KeyIndex(const Keymap &map, bool main_block_only) {
  for_each_choice(
      map,
      [this](char32_t produced, const KeyChoice &candidate) {
        const auto [it, added] = best_.try_emplace(produced, candidate);
        if (!added && choice_rank(candidate) < choice_rank(it->second)) {
          it->second = candidate;
        }
      },
      main_block_only);
}

bool is_main_block_key_name(std::string_view name) {
  return name.starts_with("AE") || name.starts_with("AD") || name.starts_with("AC") ||
         name.starts_with("AB") || name == "TLDE" || name == "BKSL" || name == "LSGT" ||
         name == "SPCE";
}

DeadKeyIndex::DeadKeyIndex(const Keymap &map, const char *locale) {
  xkb_context *context = xkb_context_new(XKB_CONTEXT_NO_DEFAULT_INCLUDES);
  if (!context) {
    return;
  }
  xkb_compose_table *table = nullptr;
  for (const char *name : {locale, "en_US.UTF-8"}) {
    if (!table && name && *name) {
      table = xkb_compose_table_new_from_locale(context, name, XKB_COMPOSE_COMPILE_NO_FLAGS);
    }
  }
  xkb_compose_state *state =
      table ? xkb_compose_state_new(table, XKB_COMPOSE_STATE_NO_FLAGS) : nullptr;
  if (state) {
    // Every dead key of the main block with every live key of it: what the pair
    // composes to, keeping the pair with the fewest modifiers.
    std::vector<std::pair<KeySym32, KeyChoice>> dead, live;
    for (const MapKey &key : map.keys) {
      for (const KeyLevel &level : key.levels) {
        if (!key.main_block || level.keysym == kNoSymbol || (level.modifiers & kUnreachable)) {
          continue;
        }
        const KeyChoice choice{key.keycode, level.modifiers, is_dead_keysym(level.keysym)};
        (choice.dead ? dead : live).emplace_back(level.keysym, choice);
      }
    }
    auto cost = [](const Sequence &s) {
      return std::make_tuple(modifier_count(s.dead.modifiers) + modifier_count(s.base.modifiers),
                             s.dead.keycode, s.base.keycode);
    };
    for (const auto &[dead_sym, dead_key] : dead) {
      for (const auto &[base_sym, base_key] : live) {
        xkb_compose_state_reset(state);
        xkb_compose_state_feed(state, dead_sym);
        xkb_compose_state_feed(state, base_sym);
        if (xkb_compose_state_get_status(state) != XKB_COMPOSE_COMPOSED) {
          continue;
        }
        char utf8[16];
        const int n = xkb_compose_state_get_utf8(state, utf8, sizeof utf8);
        const std::u16string text = utf8_to_utf16(std::string_view(utf8, n > 0 ? n : 0));
        std::size_t pos = 0;
        const char32_t ch = text.empty() ? 0 : next_code_point(text, pos);
        if (ch == 0 || pos != text.size()) {
          continue; // one character only
        }
        const Sequence candidate{dead_key, base_key};
        const auto [it, added] = sequences_.try_emplace(ch, candidate);
        if (!added && cost(candidate) < cost(it->second)) {
          it->second = candidate;
        }
      }
    }
    xkb_compose_state_unref(state);
  }
  xkb_compose_table_unref(table);
  xkb_context_unref(context);
}

std::optional<DeadKeyIndex::Sequence> DeadKeyIndex::find(char32_t ch) const {
  const auto it = sequences_.find(ch);
  if (it == sequences_.end()) {
    return std::nullopt;
  }
  return it->second;
}

std::optional<KeyChoice> KeyIndex::find(char32_t ch) const {
  const auto it = best_.find(ch);
  if (it == best_.end()) {
    return std::nullopt;
  }
  return it->second;
}

std::optional<DeadKeySequence> dead_key_sequence_of(const DeadKeyIndex &index, char32_t ch) {
  const std::optional<DeadKeyIndex::Sequence> found = index.find(ch);
  if (!found) {
    return std::nullopt;
  }
  return DeadKeySequence{KeyLocation{found->dead.keycode, found->dead.modifiers, true},
                         KeyLocation{found->base.keycode, found->base.modifiers, false}};
}

std::optional<std::uint32_t> plain_keycode(const Keymap &map, KeySym32 keysym) {
  for (const MapKey &key : map.keys) {
    for (const KeyLevel &level : key.levels) {
      if (level.keysym == keysym && level.modifiers == 0) {
        return key.keycode;
      }
    }
  }
  return std::nullopt;
}

std::optional<std::uint32_t> modifier_keycode(const Keymap &map, KeySym32 keysym) {
  for (const MapKey &key : map.keys) {
    if (key.right_alt && !key.levels.empty() && key.levels.front().keysym == keysym &&
        key.levels.front().modifiers == 0) {
      return key.keycode;
    }
  }
  return plain_keycode(map, keysym);
}

std::string dump_keymap(const Keymap &map) {
  std::ostringstream out;
  out << "range " << map.min_keycode << ' ' << map.max_keycode << '\n';
  for (const MapKey &key : map.keys) {
    out << "key " << key.keycode << (key.main_block ? " main" : "")
        << (key.right_alt ? " ralt" : "");
    for (const KeyLevel &level : key.levels) {
      char sym[16];
      std::snprintf(sym, sizeof sym, "0x%04x", level.keysym);
      out << ' ' << sym << ':' << modifier_text(level.modifiers);
    }
    out << '\n';
  }
  out << "unused";
  for (std::uint32_t k : map.unused) {
    out << ' ' << k;
  }
  out << '\n';
  return out.str();
}

std::optional<Keymap> parse_keymap(std::string_view text) {
  Keymap map;
  map.keys.clear();
  std::istringstream in{std::string(text)};
  std::string line;
  bool have_range = false;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string kind;
    if (!(words >> kind) || kind.starts_with("#")) {
      continue;
    }
    if (kind == "range") {
      if (!(words >> map.min_keycode >> map.max_keycode)) {
        return std::nullopt;
      }
      have_range = true;
    } else if (kind == "key") {
      MapKey key;
      if (!(words >> key.keycode)) {
        return std::nullopt;
      }
      std::string item;
      while (words >> item) {
        if (item == "main" || item == "ralt") {
          (item == "main" ? key.main_block : key.right_alt) = true;
          continue;
        }
        const std::size_t colon = item.find(':');
        if (colon == std::string::npos) {
          return std::nullopt;
        }
        const auto keysym = parse_number<KeySym32>(std::string_view(item).substr(0, colon), 16);
        const auto mods = parse_modifiers(std::string_view(item).substr(colon + 1));
        if (!keysym || !mods) {
          return std::nullopt;
        }
        key.levels.push_back(KeyLevel{*keysym, *mods});
      }
      map.keys.push_back(std::move(key));
    } else if (kind == "unused") {
      std::uint32_t k;
      while (words >> k) {
        map.unused.push_back(k);
      }
    } else {
      return std::nullopt;
    }
  }
  if (!have_range) {
    return std::nullopt;
  }
  return map;
}

std::optional<KeySym32> keysym_for(Key key) {
  const auto k = static_cast<std::uint16_t>(key);
  const auto in = [k](Key first, int count) {
    return k >= static_cast<std::uint16_t>(first) && k < static_cast<std::uint16_t>(first) + count;
  };
  const auto from = [k](Key first, KeySym32 keysym) {
    return static_cast<KeySym32>(keysym + k - static_cast<std::uint16_t>(first));
  };
  if (in(Key::kDigit0, 10)) {
    return from(Key::kDigit0, XKB_KEY_0);
  }
  if (in(Key::kA, 26)) {
    return from(Key::kA, XKB_KEY_a);
  }
  if (in(Key::kKeypad0, 10)) {
    return from(Key::kKeypad0, XKB_KEY_KP_0);
  }
  if (in(Key::kF1, 24)) {
    return from(Key::kF1, XKB_KEY_F1);
  }
  static constexpr std::pair<Key, KeySym32> kNamed[] = {
      {Key::kBackspace, XKB_KEY_BackSpace},
      {Key::kTab, XKB_KEY_Tab},
      {Key::kReturn, XKB_KEY_Return},
      {Key::kPause, XKB_KEY_Pause},
      {Key::kCapsLock, XKB_KEY_Caps_Lock},
      {Key::kEscape, XKB_KEY_Escape},
      {Key::kSpace, XKB_KEY_space},
      {Key::kPageUp, XKB_KEY_Prior},
      {Key::kPageDown, XKB_KEY_Next},
      {Key::kEnd, XKB_KEY_End},
      {Key::kHome, XKB_KEY_Home},
      {Key::kLeft, XKB_KEY_Left},
      {Key::kUp, XKB_KEY_Up},
      {Key::kRight, XKB_KEY_Right},
      {Key::kDown, XKB_KEY_Down},
      {Key::kPrintScreen, XKB_KEY_Print},
      {Key::kInsert, XKB_KEY_Insert},
      {Key::kDelete, XKB_KEY_Delete},
      {Key::kLeftSuper, XKB_KEY_Super_L},
      {Key::kRightSuper, XKB_KEY_Super_R},
      {Key::kMenu, XKB_KEY_Menu},
      {Key::kKeypadMultiply, XKB_KEY_KP_Multiply},
      {Key::kKeypadAdd, XKB_KEY_KP_Add},
      {Key::kKeypadSeparator, XKB_KEY_KP_Separator},
      {Key::kKeypadSubtract, XKB_KEY_KP_Subtract},
      {Key::kKeypadDecimal, XKB_KEY_KP_Decimal},
      {Key::kKeypadDivide, XKB_KEY_KP_Divide},
      {Key::kNumLock, XKB_KEY_Num_Lock},
      {Key::kScrollLock, XKB_KEY_Scroll_Lock},
      {Key::kLeftShift, XKB_KEY_Shift_L},
      {Key::kRightShift, XKB_KEY_Shift_R},
      {Key::kLeftControl, XKB_KEY_Control_L},
      {Key::kRightControl, XKB_KEY_Control_R},
      {Key::kLeftAlt, XKB_KEY_Alt_L},
      {Key::kAltGr, XKB_KEY_ISO_Level3_Shift},
  };
  for (const auto &[named, keysym] : kNamed) {
    if (named == key) {
      return keysym;
    }
  }
  return std::nullopt;
}

std::optional<char32_t> key_character(Key key) {
  const std::optional<KeySym32> keysym = keysym_for(key);
  const char32_t ch = keysym ? keysym_to_char(*keysym) : 0;
  return ch != 0 ? std::optional<char32_t>(ch) : std::nullopt;
}

} // namespace teclix::xkb
