#include "platform/xkb/spare_keycodes.h"

#include <algorithm>
#include <set>

namespace teclix::xkb {

namespace {

// Longest runs of consecutive keycodes first: a batch then changes few runs,
// and each run is one request.
std::vector<std::uint32_t> by_runs(std::vector<std::uint32_t> keycodes) {
  std::sort(keycodes.begin(), keycodes.end());
  keycodes.erase(std::unique(keycodes.begin(), keycodes.end()), keycodes.end());
  std::vector<std::vector<std::uint32_t>> runs;
  for (std::uint32_t k : keycodes) {
    if (runs.empty() || runs.back().back() + 1 != k) {
      runs.emplace_back();
    }
    runs.back().push_back(k);
  }
  std::stable_sort(runs.begin(), runs.end(),
                   [](const auto &a, const auto &b) { return a.size() > b.size(); });
  std::vector<std::uint32_t> ordered;
  for (const auto &run : runs) {
    ordered.insert(ordered.end(), run.begin(), run.end());
  }
  return ordered;
}

} // namespace

SparePool::SparePool(std::vector<std::uint32_t> spare, std::vector<std::uint32_t> borrowed) {
  spare = by_runs(std::move(spare));
  std::erase_if(borrowed, [&](std::uint32_t k) {
    return std::find(spare.begin(), spare.end(), k) != spare.end();
  });
  borrowed = by_runs(std::move(borrowed));
  // The spare keycodes come first, so a keycode is borrowed only when they are all taken.
  for (std::uint32_t k : spare) {
    keycodes_.push_back(Slot{k, kNoSymbol, 0});
  }
  for (std::uint32_t k : borrowed) {
    keycodes_.push_back(Slot{k, kNoSymbol, 0});
  }
  borrowed_ = std::move(borrowed);
  std::sort(borrowed_.begin(), borrowed_.end());
}

bool SparePool::is_borrowed(std::uint32_t keycode) const {
  return std::binary_search(borrowed_.begin(), borrowed_.end(), keycode);
}

std::vector<std::uint32_t> SparePool::free_borrowed() const {
  std::vector<std::uint32_t> out;
  for (const Slot &s : keycodes_) {
    if (s.keysym == kNoSymbol && is_borrowed(s.keycode)) {
      out.push_back(s.keycode);
    }
  }
  return out;
}

void SparePool::retire(std::uint32_t keycode) {
  const auto slot = std::find_if(keycodes_.begin(), keycodes_.end(), [&](const Slot &s) {
    return s.keycode == keycode && s.keysym == kNoSymbol;
  });
  if (slot == keycodes_.end() || !is_borrowed(keycode)) {
    return;
  }
  keycodes_.erase(slot);
  borrowed_.erase(std::lower_bound(borrowed_.begin(), borrowed_.end(), keycode));
}

std::optional<std::uint32_t> SparePool::keycode_for(KeySym32 keysym) const {
  for (const Slot &s : keycodes_) {
    if (s.keysym == keysym && keysym != kNoSymbol) {
      return s.keycode;
    }
  }
  return std::nullopt;
}

std::vector<SparePool::Change> SparePool::bind(const std::vector<KeySym32> &keysyms) {
  ++generation_;
  std::vector<KeySym32> missing;
  for (KeySym32 keysym : keysyms) {
    bool found = false;
    for (Slot &s : keycodes_) {
      if (s.keysym == keysym && keysym != kNoSymbol) {
        s.used = generation_;
        found = true;
      }
    }
    if (!found && keysym != kNoSymbol &&
        std::find(missing.begin(), missing.end(), keysym) == missing.end()) {
      missing.push_back(keysym);
    }
  }
  std::vector<Change> changes;
  for (KeySym32 keysym : missing) {
    // A free keycode first, else the one whose binding was asked for longest ago.
    Slot *pick = nullptr;
    for (Slot &s : keycodes_) {
      if (s.used == generation_) {
        continue;
      }
      if (s.keysym == kNoSymbol) {
        pick = &s;
        break;
      }
      if (!pick || s.used < pick->used) {
        pick = &s;
      }
    }
    if (!pick) {
      break;
    }
    pick->keysym = keysym;
    pick->used = generation_;
    changes.push_back(Change{pick->keycode, keysym});
  }
  std::sort(changes.begin(), changes.end(),
            [](const Change &a, const Change &b) { return a.keycode < b.keycode; });
  return changes;
}

std::vector<SparePool::Change> SparePool::release_all() {
  std::vector<Change> changes;
  for (Slot &s : keycodes_) {
    if (s.keysym != kNoSymbol) {
      changes.push_back(Change{s.keycode, kNoSymbol});
      s.keysym = kNoSymbol;
      s.used = 0;
    }
  }
  std::sort(changes.begin(), changes.end(),
            [](const Change &a, const Change &b) { return a.keycode < b.keycode; });
  return changes;
}

bool SparePool::any_bound() const {
  return std::any_of(keycodes_.begin(), keycodes_.end(),
                     [](const Slot &s) { return s.keysym != kNoSymbol; });
}

bool SparePool::contains(std::uint32_t keycode) const {
  return std::any_of(keycodes_.begin(), keycodes_.end(),
                     [keycode](const Slot &s) { return s.keycode == keycode; });
}

std::vector<SparePool::Change> SparePool::slots() const {
  std::vector<Change> out;
  for (const Slot &s : keycodes_) {
    out.push_back(Change{s.keycode, s.keysym});
  }
  return out;
}

std::vector<std::vector<KeySym32>> plan_batches(const std::vector<KeySym32> &needed,
                                                std::size_t limit) {
  std::vector<std::vector<KeySym32>> batches;
  std::set<KeySym32> current;
  for (KeySym32 keysym : needed) {
    if (current.contains(keysym)) {
      continue;
    }
    if (batches.empty() || current.size() >= std::max<std::size_t>(limit, 1)) {
      batches.emplace_back();
      current.clear();
    }
    current.insert(keysym);
    batches.back().push_back(keysym);
  }
  return batches;
}

std::vector<std::vector<SparePool::Change>>
contiguous_runs(std::vector<SparePool::Change> changes) {
  std::sort(changes.begin(), changes.end(),
            [](const auto &a, const auto &b) { return a.keycode < b.keycode; });
  std::vector<std::vector<SparePool::Change>> runs;
  for (const SparePool::Change &c : changes) {
    if (runs.empty() || runs.back().back().keycode + 1 != c.keycode) {
      runs.emplace_back();
    }
    runs.back().push_back(c);
  }
  return runs;
}

} // namespace teclix::xkb
