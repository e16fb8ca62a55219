// Reading the live keyboard map and modifier state from the X server.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include <X11/Xlib.h>

#include "platform/platform.h"
#include "platform/xkb/keymap.h"

namespace teclix::x11 {

using namespace teclix::xkb; // the keyboard-map model and keysyms X11 shares with Wayland

// Reads the core keyboard's map in the given XKB group (or the current group), with
// each level's modifiers for Caps Lock as it is now.
Keymap read_keymap(Display *display, std::optional<int> group = std::nullopt);

// The X modifier bit that AltGr (ISO_Level3_Shift) sets.
unsigned level3_mask(Display *display);

// The X modifier bits each of the typing's modifiers sets.
unsigned modifier_mask(Display *display, Modifier m);

// The keycodes that are down now and set any of the given X modifier bits.
std::vector<KeyCode> keys_down_with(Display *display, unsigned mask);

} // namespace teclix::x11
