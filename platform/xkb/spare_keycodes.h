// Spare keycodes lent to the characters that no key of the map types: which
// keycode holds which keysym, and in what batches a text's characters are bound.
// Nothing here talks to a display server.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/xkb/keymap.h"

namespace teclix::xkb {

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

} // namespace teclix::xkb
