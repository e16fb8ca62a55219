// Reading the live keyboard map and modifier state from the X server.
#include "platform/x11/x11_keymap_reader.h"

#include <cstring>
#include <string_view>

#include <X11/XKBlib.h>
#include <X11/keysym.h>

namespace teclix::x11 {

namespace {

// The level a key type gives under a modifier state: the entry whose modifiers
// are exactly the state's modifiers that the type looks at, else the first level.
int type_level(XkbKeyTypePtr type, unsigned state) {
  const unsigned relevant = state & type->mods.mask;
  for (int i = 0; i < type->map_count; ++i) {
    const XkbKTMapEntryRec &entry = type->map[i];
    if (entry.active && entry.mods.mask == relevant) {
      return entry.level;
    }
  }
  return 0;
}

// The fewest Modifier bits (Shift, AltGr) that select a level of a key type while
// the locked modifiers stay as they are (Caps Lock on or off), or kUnreachable.
unsigned level_modifiers(XkbKeyTypePtr type, int level, unsigned level3, unsigned locked) {
  for (unsigned bits : {0u, unsigned{kShift}, unsigned{kAltGr}, unsigned{kShift | kAltGr}}) {
    const unsigned state =
        locked | ((bits & kShift) ? unsigned{ShiftMask} : 0u) | ((bits & kAltGr) ? level3 : 0u);
    if (type_level(type, state) == level) {
      return bits;
    }
  }
  return kUnreachable;
}

// The group a key uses when the keyboard is in group g.
int effective_group(XkbDescPtr xkb, unsigned keycode, int g) {
  const int groups = XkbKeyNumGroups(xkb, keycode);
  if (g < groups) {
    return g;
  }
  const unsigned char info = XkbKeyGroupInfo(xkb, keycode);
  switch (XkbOutOfRangeGroupAction(info)) {
  case XkbRedirectIntoRange:
    g = XkbOutOfRangeGroupNumber(info);
    break;
  case XkbClampIntoRange:
    g = groups - 1;
    break;
  default:
    g %= groups;
    break;
  }
  return g < groups ? g : 0;
}

} // namespace

unsigned level3_mask(Display *display) {
  const unsigned mask = XkbKeysymToModifiers(display, XK_ISO_Level3_Shift);
  return mask != 0 ? mask : Mod5Mask;
}

unsigned modifier_mask(Display *display, Modifier m) {
  switch (m) {
  case kShift:
    return ShiftMask;
  case kControl:
    return ControlMask;
  case kAlt:
    return XkbKeysymToModifiers(display, XK_Alt_L) | XkbKeysymToModifiers(display, XK_Meta_L);
  case kAltGr:
    return level3_mask(display) | XkbKeysymToModifiers(display, XK_Mode_switch);
  case kSuper:
    return XkbKeysymToModifiers(display, XK_Super_L) | XkbKeysymToModifiers(display, XK_Super_R);
  }
  return 0;
}

std::vector<KeyCode> keys_down_with(Display *display, unsigned mask) {
  char keys[32];
  XQueryKeymap(display, keys);
  XModifierKeymap *modmap = XGetModifierMapping(display);
  std::vector<KeyCode> down;
  for (int index = 0; index < 8; ++index) {
    for (int i = 0; (mask & (1u << index)) && i < modmap->max_keypermod; ++i) {
      const KeyCode kc = modmap->modifiermap[index * modmap->max_keypermod + i];
      if (kc != 0 && (keys[kc / 8] & (1 << (kc % 8)))) {
        down.push_back(kc);
      }
    }
  }
  XFreeModifiermap(modmap);
  return down;
}

Keymap read_keymap(Display *display, std::optional<int> group) {
  Keymap map;
  XkbDescPtr xkb =
      XkbGetMap(display, XkbKeyTypesMask | XkbKeySymsMask | XkbModifierMapMask, XkbUseCoreKbd);
  if (!xkb) {
    return map;
  }
  // The keys' names tell the main block (AE01, AD01, ...) from the keypad and the rest.
  const bool named =
      XkbGetNames(display, XkbKeyNamesMask, xkb) == Success && xkb->names && xkb->names->keys;
  XkbStateRec state{};
  XkbGetState(display, XkbUseCoreKbd, &state);
  if (!group) {
    group = state.group;
  }
  // Caps Lock stays as the user set it: each level is reached under its state.
  const unsigned locked = state.locked_mods & LockMask;
  map.caps_lock = locked != 0;
  const unsigned level3 = level3_mask(display);
  map.min_keycode = xkb->min_key_code;
  map.max_keycode = xkb->max_key_code;
  for (unsigned kc = xkb->min_key_code; kc <= xkb->max_key_code; ++kc) {
    const KeySym *syms = XkbKeySymsPtr(xkb, kc);
    bool any = false, vendor_only = xkb->map->modmap[kc] == 0;
    for (int i = 0; i < XkbKeyNumSyms(xkb, kc); ++i) {
      any = any || syms[i] != NoSymbol;
      vendor_only =
          vendor_only && (syms[i] == NoSymbol || is_vendor_keysym(static_cast<KeySym32>(syms[i])));
    }
    if (!any) {
      if (xkb->map->modmap[kc] == 0) {
        map.unused.push_back(kc);
      }
      continue;
    }
    if (vendor_only) {
      map.borrowable.push_back(kc);
    }
    const int g = effective_group(xkb, kc, *group);
    XkbKeyTypePtr type = XkbKeyKeyType(xkb, kc, g);
    MapKey key;
    key.keycode = kc;
    const std::string_view name =
        named ? std::string_view(xkb->names->keys[kc].name,
                                 strnlen(xkb->names->keys[kc].name, XkbKeyNameLength))
              : std::string_view();
    key.main_block = is_main_block_key_name(name);
    key.right_alt = name == "RALT";
    for (int level = 0; level < type->num_levels; ++level) {
      const KeySym sym = XkbKeySymEntry(xkb, kc, level, g);
      key.levels.push_back(
          KeyLevel{static_cast<KeySym32>(sym), level_modifiers(type, level, level3, locked)});
    }
    map.keys.push_back(std::move(key));
  }
  XkbFreeKeyboard(xkb, 0, True);
  return map;
}

} // namespace teclix::x11
