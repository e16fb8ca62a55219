// Keycodes lent to characters that no key of the layout types: spare keycodes of
// the map, then media keys no other program has grabbed; and giving them back.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include <X11/Xlib.h>

#include "platform/x11/x11_connection.h"
#include "platform/xkb/keymap.h"
#include "platform/xkb/spare_keycodes.h"

namespace teclix::x11 {

using namespace teclix::xkb; // the keyboard-map model and keysyms X11 shares with Wayland

class KeyLending {
public:
  using Clock = std::chrono::steady_clock;

  explicit KeyLending(const Connection &connection) : x_(connection) {}

  // Takes a freshly read map: keycodes lent earlier stay lent while the map still
  // shows them as we left them (else a new layout replaced the map, and lending
  // starts over from its spare keys, never the reserved keycode). The lent
  // keycodes are taken out of the map's keys.
  void adopt(Keymap &map, unsigned reserved_keycode);
  // Whether the keycodes lent now still mean what we gave them in this map.
  bool still_ours(const Keymap &map) const;

  std::size_t size() const { return pool_ ? pool_->size() : 0; }
  std::size_t batch_limit() const { return pool_ ? pool_->batch_limit() : 0; }
  bool any_lent() const { return pool_ && pool_->any_bound(); }
  std::optional<std::uint32_t> keycode_for(KeySym32 keysym) const;
  // Media keys that a program grabbed since they were taken in are left out, when
  // a text needs more distinct characters than the spare keycodes hold.
  void leave_out_grabbed(std::size_t distinct_needed);

  // Binds the keysyms (at most size() of them) to keycodes. A keycode that changes
  // meaning waits until keys typed with its old meaning may have been read.
  void bind(const std::vector<KeySym32> &keysyms);
  // Gives every lent keycode back to the map: spare ones empty, media keys their
  // own keysyms, once the last keys typed with them have had time to arrive.
  void give_back();
  // Records a key event on a keycode, for the settling time of its meaning.
  void note_sent(std::uint32_t keycode, Clock::time_point when);

private:
  bool grabbed_by_others(std::uint32_t keycode) const;
  std::vector<std::uint32_t> borrowable_keys(const Keymap &map, unsigned reserved_keycode);
  void wait_settled(const std::vector<std::uint32_t> &keycodes) const;

  const Connection &x_;
  std::optional<SparePool> pool_;
  std::map<std::uint32_t, std::vector<KeySym>> borrowed_originals_; // their own keysyms
  int borrowed_per_keycode_ = 0;
  std::array<Clock::time_point, 256> last_sent_{}; // last event per keycode
};

// The two levels a lent keycode gets for a keysym: a letter with a case gets its
// lower and upper case, which makes the key alphabetic, so that Caps Lock acts on
// it as on any letter key (on a key whose type ignores Caps Lock, the receiving
// client would capitalise the letter whatever level was typed).
std::pair<KeySym, KeySym> lent_levels(KeySym32 keysym);
// The Modifier bits that type a keysym on its lent keycode under Caps Lock's state.
unsigned lent_modifiers(KeySym32 keysym, bool caps_lock);

} // namespace teclix::x11
