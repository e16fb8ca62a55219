#include "platform/wayland/wayland_keymap.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>

#include <xkbcommon/xkbcommon.h>

namespace teclix::wayland {

namespace {

xkb_context *shared_context() {
  static xkb_context *context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
  return context;
}

struct StateFree {
  void operator()(xkb_state *state) const { xkb_state_unref(state); }
};
using State = std::unique_ptr<xkb_state, StateFree>;

// Where a section of a keymap text ends: its closing line "};".
std::size_t section_end(const std::string &text, std::string_view section) {
  const std::size_t start = text.find(section);
  if (start == std::string::npos) {
    return std::string::npos;
  }
  const std::size_t end = text.find("\n};", start);
  return end == std::string::npos ? end : end + 1;
}

constexpr xkb_keycode_t kLastX11Keycode = 255;
constexpr std::string_view kOwnSymbols = "xkb_symbols \"teclix\"";

} // namespace

void CompiledKeymap::Free::operator()(xkb_keymap *keymap) const {
  xkb_keymap_unref(keymap);
}

std::optional<CompiledKeymap> CompiledKeymap::compile(std::string_view text) {
  const std::string copy(text);
  xkb_keymap *keymap = xkb_keymap_new_from_string(
      shared_context(), copy.c_str(), XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS);
  if (!keymap) {
    return std::nullopt;
  }
  CompiledKeymap compiled;
  compiled.keymap_.reset(keymap);
  // The compiler's own text: one form, whatever the compositor wrote.
  char *own = xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1);
  compiled.text_ = own ? own : copy;
  std::free(own);
  return compiled;
}

std::optional<CompiledKeymap> CompiledKeymap::from_names(const char *layout, const char *variant) {
  const xkb_rule_names names{nullptr, nullptr, layout, variant, nullptr};
  xkb_keymap *keymap =
      xkb_keymap_new_from_names(shared_context(), &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
  if (!keymap) {
    return std::nullopt;
  }
  char *text = xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1);
  xkb_keymap_unref(keymap);
  if (!text) {
    return std::nullopt;
  }
  std::optional<CompiledKeymap> compiled = compile(text);
  std::free(text);
  return compiled;
}

std::optional<std::uint32_t> CompiledKeymap::keycode_of(KeySym32 keysym) const {
  xkb_keymap *map = keymap_.get();
  const xkb_keycode_t last = std::min<xkb_keycode_t>(xkb_keymap_max_keycode(map), kLastX11Keycode);
  for (xkb_keycode_t kc = xkb_keymap_min_keycode(map); kc <= last; ++kc) {
    const xkb_keysym_t *syms = nullptr;
    if (xkb_keymap_key_get_syms_by_level(map, kc, 0, 0, &syms) == 1 && syms[0] == keysym) {
      return kc;
    }
  }
  return std::nullopt;
}

bool CompiledKeymap::caps_lock_in(std::uint32_t mask) const {
  const xkb_mod_index_t caps = xkb_keymap_mod_get_index(keymap_.get(), XKB_MOD_NAME_CAPS);
  return caps != XKB_MOD_INVALID && caps < 32 && (mask & (1u << caps)) != 0;
}

Keymap CompiledKeymap::keys(unsigned layout, bool caps_lock) const {
  xkb_keymap *map = keymap_.get();
  Keymap keys;
  // Keycodes past 255 (evdev's newer keys) exist for Wayland clients only: an
  // X11 client, and a console passing keys on, has none of them.
  keys.min_keycode = xkb_keymap_min_keycode(map);
  keys.max_keycode = std::min<xkb_keycode_t>(xkb_keymap_max_keycode(map), kLastX11Keycode);
  // Each level is reached under one of four states: none, Shift, AltGr, both,
  // with the keys this keyboard would press for them.
  Keymap names_only;
  for (xkb_keycode_t kc = keys.min_keycode; kc <= keys.max_keycode; ++kc) {
    const char *name = xkb_keymap_key_get_name(map, kc);
    const xkb_keysym_t *syms = nullptr;
    const int count = xkb_keymap_key_get_syms_by_level(map, kc, 0, 0, &syms);
    xkb::MapKey key;
    key.keycode = kc;
    key.right_alt = name && std::string_view(name) == "RALT";
    if (count > 0) {
      key.levels.push_back(xkb::KeyLevel{syms[0], 0});
    }
    names_only.keys.push_back(key);
  }
  const std::optional<std::uint32_t> shift = keycode_of(0xFFE1); // Shift_L
  const std::optional<std::uint32_t> altgr = xkb::modifier_keycode(names_only, 0xFE03);
  constexpr std::array<unsigned, 4> kBits = {0u, unsigned{kShift}, unsigned{kAltGr},
                                             unsigned{kShift | kAltGr}};
  std::array<State, 4> states;
  for (std::size_t i = 0; i < kBits.size(); ++i) {
    states[i].reset(xkb_state_new(map));
    const xkb_mod_index_t caps = xkb_keymap_mod_get_index(map, XKB_MOD_NAME_CAPS);
    const xkb_mod_mask_t locked = caps_lock && caps != XKB_MOD_INVALID ? 1u << caps : 0;
    xkb_state_update_mask(states[i].get(), 0, 0, locked, 0, 0, layout);
    if ((kBits[i] & kShift) && shift) {
      xkb_state_update_key(states[i].get(), *shift, XKB_KEY_DOWN);
    }
    if ((kBits[i] & kAltGr) && altgr) {
      xkb_state_update_key(states[i].get(), *altgr, XKB_KEY_DOWN);
    }
  }
  const bool reachable[4] = {true, shift.has_value(), altgr.has_value(),
                             shift.has_value() && altgr.has_value()};
  for (xkb_keycode_t kc = keys.min_keycode; kc <= keys.max_keycode; ++kc) {
    bool any = false, vendor_only = true;
    for (xkb_layout_index_t each = 0; each < xkb_keymap_num_layouts_for_key(map, kc); ++each) {
      for (xkb_level_index_t level = 0; level < xkb_keymap_num_levels_for_key(map, kc, each);
           ++level) {
        const xkb_keysym_t *syms = nullptr;
        const int count = xkb_keymap_key_get_syms_by_level(map, kc, each, level, &syms);
        for (int i = 0; i < count; ++i) {
          any = any || syms[i] != XKB_KEY_NoSymbol;
          vendor_only = vendor_only && xkb::is_vendor_keysym(syms[i]);
        }
      }
    }
    if (!any) {
      keys.unused.push_back(kc);
      continue;
    }
    if (vendor_only) {
      keys.borrowable.push_back(kc);
    }
    const char *name = xkb_keymap_key_get_name(map, kc);
    xkb::MapKey key;
    key.keycode = kc;
    key.main_block = name && xkb::is_main_block_key_name(name);
    key.right_alt = name && std::string_view(name) == "RALT";
    const xkb_layout_index_t group = xkb_state_key_get_layout(states[0].get(), kc);
    for (xkb_level_index_t level = 0; level < xkb_keymap_num_levels_for_key(map, kc, group);
         ++level) {
      const xkb_keysym_t *syms = nullptr;
      const int count = xkb_keymap_key_get_syms_by_level(map, kc, group, level, &syms);
      unsigned modifiers = xkb::kUnreachable;
      for (std::size_t i = 0; i < kBits.size(); ++i) {
        if (reachable[i] && xkb_state_key_get_level(states[i].get(), kc, group) == level) {
          modifiers = kBits[i];
          break;
        }
      }
      key.levels.push_back(xkb::KeyLevel{count == 1 ? syms[0] : xkb::kNoSymbol, modifiers});
    }
    keys.keys.push_back(std::move(key));
  }
  return keys;
}

std::vector<KeySym32> CompiledKeymap::keysyms(std::uint32_t keycode, unsigned modifiers,
                                              unsigned layout) const {
  xkb_keymap *map = keymap_.get();
  State state(xkb_state_new(map));
  xkb_state_update_mask(state.get(), 0, 0, 0, 0, 0, layout);
  const std::optional<std::uint32_t> shift = keycode_of(0xFFE1);
  const std::optional<std::uint32_t> altgr = keycode_of(0xFE03);
  if ((modifiers & kShift) && shift) {
    xkb_state_update_key(state.get(), *shift, XKB_KEY_DOWN);
  }
  if ((modifiers & kAltGr) && altgr) {
    xkb_state_update_key(state.get(), *altgr, XKB_KEY_DOWN);
  }
  const xkb_keysym_t *syms = nullptr;
  const int count = xkb_state_key_get_syms(state.get(), keycode, &syms);
  return std::vector<KeySym32>(syms, syms + std::max(count, 0));
}

std::vector<std::uint32_t> spare_keycodes(const Keymap &keys) {
  std::vector<std::uint32_t> spare = keys.unused;
  spare.insert(spare.end(), keys.borrowable.begin(), keys.borrowable.end());
  std::sort(spare.begin(), spare.end());
  return spare;
}

std::string keymap_with_bindings(const CompiledKeymap &base,
                                 const std::vector<xkb::SparePool::Change> &bindings) {
  std::string names, symbols;
  for (const xkb::SparePool::Change &binding : bindings) {
    if (binding.keysym == xkb::kNoSymbol) {
      continue;
    }
    std::string name;
    if (const char *own = xkb_keymap_key_get_name(base.keymap(), binding.keycode)) {
      name = own;
    } else {
      name = "T" + std::to_string(binding.keycode);
      names += "\t<" + name + "> = " + std::to_string(binding.keycode) + ";\n";
    }
    char keysym_name[64];
    if (xkb_keysym_get_name(binding.keysym, keysym_name, sizeof keysym_name) <= 0) {
      std::snprintf(keysym_name, sizeof keysym_name, "0x%08x", binding.keysym);
    }
    // One level of its own type: the keysym as it is, under no modifier.
    symbols += "\treplace key <" + name + "> { type= \"ONE_LEVEL\", symbols[Group1]= [ " +
               keysym_name + " ] };\n";
  }
  std::string text = base.text();
  if (const std::size_t start = text.find("xkb_symbols"); start != std::string::npos) {
    const std::size_t brace = text.find('{', start);
    if (brace != std::string::npos) {
      text.replace(start, brace - start, std::string(kOwnSymbols) + " ");
    }
  }
  const std::size_t symbols_end = section_end(text, "xkb_symbols");
  if (symbols_end != std::string::npos) {
    text.insert(symbols_end, symbols);
  }
  const std::size_t names_end = section_end(text, "xkb_keycodes");
  if (names_end != std::string::npos) {
    text.insert(names_end, names);
  }
  return text;
}

bool is_whole_keyboard(std::string_view text) {
  const std::optional<CompiledKeymap> keymap = CompiledKeymap::compile(text);
  if (!keymap) {
    return false;
  }
  // The letters' rows alone are 36 keys on any layout.
  constexpr std::size_t kMainBlockKeys = 36;
  const Keymap keys = keymap->keys();
  return std::count_if(keys.keys.begin(), keys.keys.end(), [](const xkb::MapKey &key) {
           return key.main_block;
         }) >= static_cast<std::ptrdiff_t>(kMainBlockKeys);
}

bool is_own_keymap(std::string_view text) {
  return text.find(kOwnSymbols) != std::string_view::npos;
}

} // namespace teclix::wayland
