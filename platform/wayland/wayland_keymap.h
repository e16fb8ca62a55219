// The keymap of the virtual keyboard: the user's own keymap, read with
// xkbcommon, with spare keycodes bound to the characters that no key of it
// types. Nothing here talks to the compositor, so it can be checked on its own.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/xkb/keymap.h"
#include "platform/xkb/spare_keycodes.h"

struct xkb_context;
struct xkb_keymap;

namespace teclix::wayland {

using xkb::Keymap;
using xkb::KeySym32;

// One compiled keymap and its text.
class CompiledKeymap {
public:
  // Compiles a keymap text (XKB text format v1); nullopt when it does not compile.
  static std::optional<CompiledKeymap> compile(std::string_view text);
  // The keymap of the given rules, model, layout and variant (empty: defaults).
  static std::optional<CompiledKeymap> from_names(const char *layout, const char *variant = "");

  const std::string &text() const { return text_; }
  xkb_keymap *keymap() const { return keymap_.get(); }

  // The keys of a layout (the first: what the virtual keyboard types; the one
  // the desktop has active, for the portal), with the modifiers (Shift, AltGr)
  // that reach each level with Caps Lock as given and no other lock on.
  Keymap keys(unsigned layout = 0, bool caps_lock = false) const;
  // Whether Caps Lock is among the modifiers of an xkb mask of this keymap's.
  bool caps_lock_in(std::uint32_t mask) const;
  // The keycode of the first key whose first level is the keysym.
  std::optional<std::uint32_t> keycode_of(KeySym32 keysym) const;
  // The keysyms a keycode gives under Shift and AltGr as given (Modifier bits),
  // in a layout.
  std::vector<KeySym32> keysyms(std::uint32_t keycode, unsigned modifiers,
                                unsigned layout = 0) const;

private:
  struct Free {
    void operator()(xkb_keymap *keymap) const;
  };
  std::string text_;
  std::unique_ptr<xkb_keymap, Free> keymap_;
};

// Keycodes that may be bound to other keysyms for this keyboard alone: those
// with no keysym, and those whose keysyms are all vendor keys (media, launch).
std::vector<std::uint32_t> spare_keycodes(const Keymap &keys);

// The keymap text with each binding's keycode typing its keysym on its only
// level (a keycode bound to kNoSymbol is left as it is in the base), its
// symbols named as this program's own, so that it is told from the user's
// when the compositor hands it out again.
std::string keymap_with_bindings(const CompiledKeymap &base,
                                 const std::vector<xkb::SparePool::Change> &bindings);

// Whether a keymap text is a keyboard's, with the keys of the main block (and
// not the few keys another program's virtual keyboard needs).
bool is_whole_keyboard(std::string_view text);

// Whether a keymap text is one that keymap_with_bindings() wrote.
bool is_own_keymap(std::string_view text);

} // namespace teclix::wayland
