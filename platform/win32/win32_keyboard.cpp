// The Windows backend's keyboard input: where each character is in the focused
// thread's layout, directly or for a console, and the key events sent.
#include "platform/win32/win32_platform.h"

#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>
#include <array>
#include <string>

#include "platform/win32/win32_internal.h"
#include "typing/keys.h"

namespace teclix {

using namespace win32;

void Win32Platform::begin_typing(std::u16string_view, TypingMode mode,
                                 std::function<bool()> keep_typing) {
  // The focused window's layout and the Caps Lock toggle, which the keys are chosen for.
  layout_ = focused_layout();
  caps_lock_ = caps_lock_on();
  located_.clear();
  mode_ = mode;
  dead_keys_found_ = false;
  dead_keys_.clear();
  sequences_.clear();
  keep_typing_ = std::move(keep_typing);
  focus_lost_ = false;
  typing_ = true;
  // Its own keys would all come back as raw input.
  watch_raw_keys(false);
}

void Win32Platform::end_typing() {
  flush();
  right_hand_.reset();
  watch_raw_keys(true);
  typing_ = false;
  mode_ = TypingMode::kDirect;
}

void Win32Platform::pause(std::chrono::milliseconds time) {
  // The keys queued so far go out first, so that the time passes between them and
  // the keys that follow.
  flush();
  Sleep(static_cast<DWORD>(time.count()));
}

// What the layout's translation gives for the key with these Shift/Control/Alt bits
// (as VkKeyScanEx reports them) and Caps Lock as it is: ToUnicodeEx's count, the
// characters in out (8 wide). Negative for a dead key.
int Win32Platform::translate(BYTE vk, BYTE shift, wchar_t *out, UINT flags) const {
  std::array<BYTE, 256> state{};
  if (shift & 1) {
    state[VK_SHIFT] = state[VK_LSHIFT] = 0x80;
  }
  if (shift & 2) {
    state[VK_CONTROL] = state[VK_LCONTROL] = 0x80;
  }
  if (shift & 4) {
    state[VK_MENU] = state[VK_LMENU] = 0x80;
  }
  if (caps_lock_) {
    state[VK_CAPITAL] = 0x01; // toggled on, not held
  }
  const UINT scancode = MapVirtualKeyExW(vk, MAPVK_VK_TO_VSC, layout_);
  return ToUnicodeEx(vk, scancode, state.data(), out, 8, flags, layout_);
}

// Empties the layout's pending dead key, as a space typed after it would.
void Win32Platform::clear_dead_key_state() const {
  std::array<wchar_t, 8> out{};
  for (int i = 0; i < 4 && translate(VK_SPACE, 0, out.data(), 0) < 0; ++i) {
  }
}

// The one character the key gives, or 0 for anything else. A dead key leaves the
// layout's dead-key state as it was.
wchar_t Win32Platform::produces(BYTE vk, BYTE shift) const {
  std::array<wchar_t, 8> out{};
  // Flag 4 leaves the keyboard state (a pending dead key) untouched.
  const int n = translate(vk, shift, out.data(), 4);
  if (n < 0) {
    // A dead key was stored after all (systems that ignore the flag): clear it.
    clear_dead_key_state();
    return 0;
  }
  return n == 1 ? out[0] : 0;
}

namespace {

// The keys of the main block, the only ones a console passes on as they are:
// space, digits, letters and the punctuation keys (VK_OEM_1 to VK_OEM_8, VK_OEM_102).
const std::vector<BYTE> &main_block_keys() {
  static const std::vector<BYTE> keys = [] {
    std::vector<BYTE> k{VK_SPACE};
    for (BYTE vk = '0'; vk <= '9'; ++vk) {
      k.push_back(vk);
    }
    for (BYTE vk = 'A'; vk <= 'Z'; ++vk) {
      k.push_back(vk);
    }
    for (BYTE vk = VK_OEM_1; vk <= VK_OEM_3; ++vk) {
      k.push_back(vk);
    }
    for (BYTE vk = VK_OEM_4; vk <= VK_OEM_8; ++vk) {
      k.push_back(vk);
    }
    k.push_back(VK_OEM_102);
    return k;
  }();
  return keys;
}

bool in_main_block(BYTE vk) {
  const std::vector<BYTE> &keys = main_block_keys();
  return std::find(keys.begin(), keys.end(), vk) != keys.end();
}

// The Shift states a console is typed with, as VkKeyScanEx's bits: none, Shift,
// AltGr (Control+Alt) and Shift+AltGr.
constexpr std::array<BYTE, 4> kConsoleStates = {0, 1, 6, 7};

// VkKeyScanEx's shift state as Modifier bits: Control and Alt together are AltGr.
KeyLocation key_location(BYTE vk, BYTE shift, bool dead = false) {
  KeyLocation key;
  key.key = vk;
  key.modifiers = (shift & 1) ? unsigned{kShift} : 0u;
  if ((shift & 6) == 6) {
    key.modifiers |= kAltGr;
  } else {
    key.modifiers |= ((shift & 2) ? unsigned{kControl} : 0u) | ((shift & 4) ? unsigned{kAlt} : 0u);
  }
  key.dead = dead;
  return key;
}

// The combining mark of a spacing accent that dead keys type, or 0.
wchar_t combining_mark(wchar_t accent) {
  switch (accent) {
  case L'`':
    return 0x0300;
  case 0x00B4: // acute
    return 0x0301;
  case L'^':
    return 0x0302;
  case L'~':
    return 0x0303;
  case 0x00AF: // macron
    return 0x0304;
  case 0x02D8: // breve
    return 0x0306;
  case 0x02D9: // dot above
    return 0x0307;
  case 0x00A8: // diaeresis
    return 0x0308;
  case 0x02DA: // ring above
  case 0x00B0:
    return 0x030A;
  case 0x02DD: // double acute
    return 0x030B;
  case 0x02C7: // caron
    return 0x030C;
  case 0x00B8: // cedilla
    return 0x0327;
  case 0x02DB: // ogonek
    return 0x0328;
  default:
    return 0;
  }
}

} // namespace

// The layout's dead keys on the main block, once per paste. A dead key is one the
// layout's translation answers with a negative count. Wine's X11 driver never
// does: it leaves dead keys to the X input method and answers with the accent
// itself, and its VkKeyScanEx finds no key for an accent on a dead key. There, a
// key that types a spacing accent which VkKeyScanEx does not find is a dead key,
// and it combines with a letter as Unicode composes the accent's mark with it.
void Win32Platform::find_dead_keys() {
  if (dead_keys_found_) {
    return;
  }
  dead_keys_found_ = true;
  layout_composes_ = true;
  std::array<wchar_t, 8> out{};
  for (BYTE vk : main_block_keys()) {
    for (BYTE shift : kConsoleStates) {
      if (translate(vk, shift, out.data(), 4) < 0) {
        clear_dead_key_state();
        dead_keys_.push_back({key_location(vk, shift, true), out[0]});
      }
    }
  }
  if (!dead_keys_.empty()) {
    return;
  }
  layout_composes_ = false;
  for (BYTE vk : main_block_keys()) {
    for (BYTE shift : kConsoleStates) {
      if (translate(vk, shift, out.data(), 4) == 1 && combining_mark(out[0]) != 0 &&
          VkKeyScanExW(out[0], layout_) == -1) {
        dead_keys_.push_back({key_location(vk, shift, true), out[0]});
      }
    }
  }
}

std::optional<KeyLocation> Win32Platform::locate(char32_t ch) {
  if (ch > 0xFFFF) {
    return std::nullopt;
  }
  if (auto it = located_.find(ch); it != located_.end()) {
    return it->second;
  }
  const wchar_t unit = static_cast<wchar_t>(ch);
  const std::optional<KeyLocation> where =
      mode_ == TypingMode::kConsole ? locate_console(unit) : locate_direct(unit);
  located_.emplace(ch, where);
  return where;
}

std::optional<KeyLocation> Win32Platform::locate_direct(wchar_t ch) {
  const SHORT scan = VkKeyScanExW(ch, layout_);
  const BYTE vk = LOBYTE(scan);
  const BYTE shift = HIBYTE(scan);
  // No key, or one that needs a state other than Shift, Control+Alt (AltGr) or both.
  const bool usable = scan != -1 && (shift & ~7) == 0 && ((shift & 6) == 0 || (shift & 6) == 6);
  if (usable) {
    // The layout names the Shift state with Caps Lock off. With the lock on, a
    // letter (and on some layouts other keys) gives its other case, so the key is
    // tried as named and then with Shift the other way. A dead key, or a layout
    // where the first key found gives the character only in some other state, is
    // typed as the character itself.
    for (const BYTE mods : {shift, static_cast<BYTE>(shift ^ 1)}) {
      if (produces(vk, mods) == ch) {
        return key_location(vk, mods);
      }
    }
  }
  return std::nullopt;
}

// A key of the main block for a console: the one VkKeyScanEx names, else any key
// of the block in any Shift/AltGr state whose translation is the character.
std::optional<KeyLocation> Win32Platform::locate_console(wchar_t ch) {
  find_dead_keys();
  const auto located = [this](BYTE vk, BYTE shift) {
    KeyLocation key = key_location(vk, shift);
    for (const DeadKey &dead : dead_keys_) {
      key.dead = key.dead || (dead.key.key == key.key && dead.key.modifiers == key.modifiers);
    }
    return key;
  };
  const SHORT scan = VkKeyScanExW(ch, layout_);
  const BYTE vk = LOBYTE(scan);
  const BYTE shift = HIBYTE(scan);
  if (scan != -1 && in_main_block(vk) &&
      std::find(kConsoleStates.begin(), kConsoleStates.end(), shift) != kConsoleStates.end()) {
    for (const BYTE mods : {shift, static_cast<BYTE>(shift ^ 1)}) {
      if (produces(vk, mods) == ch) {
        return located(vk, mods);
      }
    }
    // Wine's X11 driver translates nothing in an AltGr state (it takes AltGr from
    // the X server, not from the state it is given): VkKeyScanEx's word is all there is.
    std::array<wchar_t, 8> out{};
    if ((shift & 6) == 6 && translate(vk, shift, out.data(), 4) == 0) {
      return located(vk, shift);
    }
  }
  for (BYTE key : main_block_keys()) {
    for (BYTE mods : kConsoleStates) {
      if (produces(key, mods) == ch) {
        return located(key, mods);
      }
    }
  }
  return std::nullopt;
}

std::optional<char32_t> Win32Platform::key_character(Key key) {
  const wchar_t ch = produces(virtual_key_for(key), 0);
  return ch != 0 ? std::optional<char32_t>(ch) : std::nullopt;
}

std::optional<DeadKeySequence> Win32Platform::dead_key_sequence(char32_t ch) {
  if (ch > 0xFFFF) {
    return std::nullopt;
  }
  if (auto it = sequences_.find(ch); it != sequences_.end()) {
    return it->second;
  }
  find_dead_keys();
  const wchar_t unit = static_cast<wchar_t>(ch);
  std::optional<DeadKeySequence> found;
  std::array<wchar_t, 8> out{};
  if (layout_composes_) {
    // Each dead key, then each key of the block, through the layout's own
    // translation; the dead key is stored for the second key to combine with.
    for (const DeadKey &dead : dead_keys_) {
      const BYTE dead_shift = static_cast<BYTE>(((dead.key.modifiers & kShift) ? 1 : 0) |
                                                ((dead.key.modifiers & (kControl | kAlt)) ? 6 : 0));
      for (BYTE vk : main_block_keys()) {
        for (BYTE shift : kConsoleStates) {
          if (found) {
            break;
          }
          translate(static_cast<BYTE>(dead.key.key), dead_shift, out.data(), 0);
          const int n = translate(vk, shift, out.data(), 0);
          if (n < 0) {
            clear_dead_key_state();
          } else if (n == 1 && out[0] == unit) {
            found = DeadKeySequence{dead.key, key_location(vk, shift)};
          }
        }
      }
    }
  } else {
    // The accent alone is the dead key and a space; a letter with one accent is
    // the dead key and the letter.
    std::array<wchar_t, 4> parts{};
    const int n = NormalizeString(NormalizationD, &unit, 1, parts.data(), parts.size());
    for (const DeadKey &dead : dead_keys_) {
      if (found) {
        break;
      }
      if (dead.accent == unit) {
        found = DeadKeySequence{dead.key, key_location(VK_SPACE, 0)};
      } else if (n == 2 && parts[1] == combining_mark(dead.accent)) {
        if (const std::optional<KeyLocation> base = locate(parts[0]); base && !base->dead) {
          found = DeadKeySequence{dead.key, *base};
        }
      }
    }
  }
  sequences_.emplace(ch, found);
  return found;
}

unsigned Win32Platform::held_modifiers() {
  unsigned held = 0;
  if (down(VK_LSHIFT) || down(VK_RSHIFT)) {
    held |= kShift;
  }
  if (down(VK_RMENU)) {
    held |= kAltGr;
  }
  if (down(VK_LCONTROL) || down(VK_RCONTROL)) {
    held |= kControl;
  }
  if (down(VK_LMENU)) {
    held |= kAlt;
  }
  if (down(VK_LWIN) || down(VK_RWIN)) {
    held |= kSuper;
  }
  return held;
}

bool Win32Platform::caps_lock_on() {
  return (GetKeyState(VK_CAPITAL) & 1) != 0;
}

INPUT Win32Platform::key_input(WORD vk, bool up) const {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = vk;
  // The scan code goes with every key: remote-desktop, VNC and virtual-machine
  // clients read it rather than the virtual key.
  UINT scan = MapVirtualKeyExW(vk, MAPVK_VK_TO_VSC_EX, layout_ ? layout_ : focused_layout());
  if (vk == VK_RMENU) {
    // AltGr is the right Alt key: scan code 38, extended (Wine maps VK_RMENU to no
    // scan code at all).
    scan = 0xE038;
  }
  input.ki.wScan = static_cast<WORD>(scan & 0xFF);
  input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  if ((scan & 0xFF00) == 0xE000 || (scan & 0xFF00) == 0xE100) {
    input.ki.dwFlags |= KEYEVENTF_EXTENDEDKEY;
  }
  return input;
}

void Win32Platform::queue_key(WORD vk, bool up) {
  pending_.push_back(key_input(vk, up));
  if (!typing_ || pending_.size() >= kBatch) {
    flush();
  }
}

void Win32Platform::flush() {
  if (pending_.empty()) {
    return;
  }
  // While a text is typed, its keys go out only while the core wants them (the
  // focus is where it was): once it says no, the queued keys and all that follow
  // in this text are dropped, and only the keys already pressed are let go of.
  if (typing_ && !focus_lost_ && keep_typing_ && !keep_typing_()) {
    focus_lost_ = true;
  }
  if (typing_ && focus_lost_) {
    pending_.clear();
    for (int vk = 0; vk < 256; ++vk) {
      if (down_[static_cast<std::size_t>(vk)]) {
        pending_.push_back(key_input(static_cast<WORD>(vk), true));
      }
    }
    down_.reset();
  } else {
    for (const INPUT &input : pending_) {
      if ((input.ki.dwFlags & KEYEVENTF_UNICODE) == 0) {
        down_[input.ki.wVk & 0xFF] = (input.ki.dwFlags & KEYEVENTF_KEYUP) == 0;
      }
    }
  }
  if (!pending_.empty()) {
    SendInput(static_cast<UINT>(pending_.size()), pending_.data(), sizeof(INPUT));
    pending_.clear();
  }
}

// A modifier's release lets go of every key that holds it: the user may hold the
// right-hand one. From then on until the text ends, the modifier is pressed and
// let go with that key, so that the one pressed again afterwards is the one the
// user holds.
void Win32Platform::send_key(Key key, bool up) {
  const WORD vk = virtual_key_for(key);
  // AltGr is the right Alt key; typing at full speed, it comes with the left
  // Control key, as the keyboard itself sends it on a layout with AltGr (a console
  // gets the right Alt key alone, as its machine's layout decides).
  if (key == Key::kAltGr && mode_ == TypingMode::kDirect && typing_) {
    queue_key(up ? VK_RMENU : VK_LCONTROL, up);
    queue_key(up ? VK_LCONTROL : VK_RMENU, up);
    return;
  }
  const WORD right = vk == VK_LSHIFT     ? VK_RSHIFT
                     : vk == VK_LCONTROL ? VK_RCONTROL
                     : vk == VK_LWIN     ? VK_RWIN
                                         : 0;
  if (right == 0) {
    queue_key(vk, up);
    return;
  }
  if (up) {
    queue_key(vk, true);
    if (right_hand_[right] || down(right)) {
      right_hand_.set(right);
      queue_key(right, true);
    }
  } else {
    queue_key(right_hand_[right] ? right : vk, false);
  }
}

void Win32Platform::send_layout_key(std::uint32_t key, bool up) {
  queue_key(static_cast<WORD>(key), up);
}

bool Win32Platform::send_character(char32_t ch) {
  std::array<wchar_t, 2> units{};
  std::size_t count = 1;
  if (ch >= 0x10000) {
    ch -= 0x10000;
    units[0] = static_cast<wchar_t>(0xD800 + (ch >> 10));
    units[1] = static_cast<wchar_t>(0xDC00 + (ch & 0x3FF));
    count = 2;
  } else {
    units[0] = static_cast<wchar_t>(ch);
  }
  for (std::size_t i = 0; i < count; ++i) {
    for (bool up : {false, true}) {
      INPUT input{};
      input.type = INPUT_KEYBOARD;
      input.ki.wScan = units[i];
      input.ki.dwFlags = KEYEVENTF_UNICODE | (up ? KEYEVENTF_KEYUP : 0);
      pending_.push_back(input);
    }
  }
  if (!typing_ || pending_.size() >= kBatch) {
    flush();
  }
  return true;
}

} // namespace teclix
