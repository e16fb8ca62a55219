// Keycodes lent to characters that no key of the layout types: spare keycodes of
// the map, then media keys no other program has grabbed; and giving them back.
#include "platform/x11/x11_key_lending.h"

#include <algorithm>
#include <thread>

#include <X11/Xutil.h>

#include "platform/x11/x11_keymap_reader.h"

namespace teclix::x11 {

namespace {

using namespace std::chrono_literals;

// How long a lent keycode keeps its meaning after its last key event before it
// may be given to another character: the window that receives the keys reads
// the map again only when it gets to them, which may be later than we send.
constexpr auto kSettle = 300ms;

} // namespace

std::pair<KeySym, KeySym> lent_levels(KeySym32 keysym) {
  KeySym lower = NoSymbol, upper = NoSymbol;
  XConvertCase(keysym, &lower, &upper);
  if (lower != upper && (keysym == lower || keysym == upper)) {
    return {lower, upper};
  }
  return {keysym, keysym};
}

unsigned lent_modifiers(KeySym32 keysym, bool caps_lock) {
  const auto [lower, upper] = lent_levels(keysym);
  if (lower == upper) {
    return 0;
  }
  const bool upper_wanted = keysym == upper;
  return upper_wanted != caps_lock ? unsigned{kShift} : 0u;
}

// Whether another client has a passive grab on the key: our own grab of it,
// with any modifiers, then fails.
bool KeyLending::grabbed_by_others(std::uint32_t keycode) const {
  ErrorTrap trap(x_.display);
  XGrabKey(x_.display, static_cast<int>(keycode), AnyModifier, x_.root, True, GrabModeAsync,
           GrabModeAsync);
  if (trap.failed()) {
    return true;
  }
  XUngrabKey(x_.display, static_cast<int>(keycode), AnyModifier, x_.root);
  return false;
}

// The media keys that may be lent: those no other client has grabbed (a grab
// would take the keys typed with them away from the focused window). Their
// keysyms are kept, to be given back.
std::vector<std::uint32_t> KeyLending::borrowable_keys(const Keymap &map,
                                                       unsigned reserved_keycode) {
  borrowed_originals_.clear();
  borrowed_per_keycode_ = 0;
  std::vector<std::uint32_t> keys;
  for (std::uint32_t kc : map.borrowable) {
    if (kc > 8 && kc <= 255 && kc != reserved_keycode && !grabbed_by_others(kc)) {
      keys.push_back(kc);
    }
  }
  if (keys.empty()) {
    return keys;
  }
  const auto [low, high] = std::minmax_element(keys.begin(), keys.end());
  int per = 0;
  KeySym *syms =
      XGetKeyboardMapping(x_.display, static_cast<KeyCode>(*low), *high - *low + 1, &per);
  if (!syms || per <= 0) {
    if (syms) {
      XFree(syms);
    }
    return {};
  }
  borrowed_per_keycode_ = per;
  for (std::uint32_t kc : keys) {
    const KeySym *first = syms + static_cast<std::ptrdiff_t>(kc - *low) * per;
    borrowed_originals_[kc] = std::vector<KeySym>(first, first + per);
  }
  XFree(syms);
  return keys;
}

bool KeyLending::still_ours(const Keymap &map) const {
  if (!pool_) {
    return false;
  }
  for (const SparePool::Change &slot : pool_->slots()) {
    if (slot.keysym == kNoSymbol) {
      const std::vector<std::uint32_t> &free =
          pool_->is_borrowed(slot.keycode) ? map.borrowable : map.unused;
      if (std::find(free.begin(), free.end(), slot.keycode) == free.end()) {
        return false;
      }
      continue;
    }
    const auto key = std::find_if(map.keys.begin(), map.keys.end(),
                                  [&](const MapKey &k) { return k.keycode == slot.keycode; });
    if (key == map.keys.end() || key->levels.empty() ||
        key->levels[0].keysym != lent_levels(slot.keysym).first) {
      return false;
    }
  }
  return true;
}

void KeyLending::adopt(Keymap &map, unsigned reserved_keycode) {
  if (pool_ && !still_ours(map)) {
    pool_.reset();
  }
  if (!pool_) {
    std::vector<std::uint32_t> spare;
    for (std::uint32_t kc : map.unused) {
      // Keycode 8 is skipped: some programs take it for "no key".
      if (kc > 8 && kc <= 255) {
        spare.push_back(kc);
      }
    }
    pool_.emplace(std::move(spare), borrowable_keys(map, reserved_keycode));
  }
  std::erase_if(map.keys, [this](const MapKey &k) { return pool_->contains(k.keycode); });
}

std::optional<std::uint32_t> KeyLending::keycode_for(KeySym32 keysym) const {
  return pool_ ? pool_->keycode_for(keysym) : std::nullopt;
}

void KeyLending::leave_out_grabbed(std::size_t distinct_needed) {
  if (!pool_ || distinct_needed <= pool_->size() - pool_->free_borrowed().size()) {
    return;
  }
  for (std::uint32_t kc : pool_->free_borrowed()) {
    if (grabbed_by_others(kc)) {
      pool_->retire(kc);
    }
  }
}

void KeyLending::note_sent(std::uint32_t keycode, Clock::time_point when) {
  if (keycode < last_sent_.size()) {
    last_sent_[keycode] = when;
  }
}

void KeyLending::wait_settled(const std::vector<std::uint32_t> &keycodes) const {
  Clock::time_point until{};
  for (std::uint32_t kc : keycodes) {
    until = std::max(until, last_sent_[kc] + kSettle);
  }
  XSync(x_.display, False);
  if (until > Clock::now()) {
    std::this_thread::sleep_until(until);
  }
}

void KeyLending::bind(const std::vector<KeySym32> &keysyms) {
  if (!pool_) {
    return;
  }
  const std::vector<SparePool::Change> before = pool_->slots();
  const std::vector<SparePool::Change> changes = pool_->bind(keysyms);
  if (changes.empty()) {
    return;
  }
  // A keycode that changes meaning must not do so while keys typed with its old
  // meaning may still be waiting in the receiving window's queue.
  std::vector<std::uint32_t> rebound;
  for (const SparePool::Change &c : changes) {
    if (std::any_of(before.begin(), before.end(), [&](const auto &s) {
          return s.keycode == c.keycode && s.keysym != kNoSymbol;
        })) {
      rebound.push_back(c.keycode);
    }
  }
  wait_settled(rebound);
  for (const auto &run : contiguous_runs(changes)) {
    std::vector<KeySym> syms;
    for (const SparePool::Change &c : run) {
      const auto [level1, level2] = lent_levels(c.keysym);
      syms.push_back(level1);
      syms.push_back(level2);
    }
    XChangeKeyboardMapping(x_.display, static_cast<int>(run.front().keycode), 2, syms.data(),
                           static_cast<int>(run.size()));
  }
  XSync(x_.display, False);
}

void KeyLending::give_back() {
  if (!any_lent()) {
    return;
  }
  std::vector<std::uint32_t> lent;
  for (const SparePool::Change &slot : pool_->slots()) {
    if (slot.keysym != kNoSymbol) {
      lent.push_back(slot.keycode);
    }
  }
  wait_settled(lent);
  // Only what is still ours goes back: a new layout may have replaced the map.
  if (!still_ours(read_keymap(x_.display))) {
    pool_.reset();
    return;
  }
  const std::vector<SparePool::Change> changes = pool_->release_all();
  for (const auto &run : contiguous_runs(changes)) {
    // A borrowed key gets its own keysyms back; a spare one none.
    const int per = std::max(2, borrowed_per_keycode_);
    std::vector<KeySym> syms(run.size() * static_cast<std::size_t>(per), NoSymbol);
    for (std::size_t i = 0; i < run.size(); ++i) {
      const auto original = borrowed_originals_.find(run[i].keycode);
      if (original != borrowed_originals_.end()) {
        std::copy(original->second.begin(), original->second.end(),
                  syms.begin() + static_cast<std::ptrdiff_t>(i * static_cast<std::size_t>(per)));
      }
    }
    XChangeKeyboardMapping(x_.display, static_cast<int>(run.front().keycode), per, syms.data(),
                           static_cast<int>(run.size()));
  }
  XSync(x_.display, False);
}

} // namespace teclix::x11
