#include "typing/keystrokes.h"

#include <array>
#include <vector>

#include "typing/keys.h"
#include "typing/runtime_error.h"
#include "typing/unicode.h"

namespace teclix {

namespace {

// Modifiers in the order they are pressed; released in reverse.
constexpr std::array<Modifier, 5> kModifierOrder = {kShift, kControl, kAlt, kAltGr, kSuper};

// Presses or releases modifiers; with a gap, each event gets that time after it.
void set_modifiers(const Platform &platform, unsigned modifiers, bool up,
                   std::chrono::milliseconds gap = {}) {
  auto send = [&](Modifier m) {
    platform.keyboard.send_key(modifier_key(m), up);
    if (gap.count() > 0) {
      platform.keyboard.pause(gap);
    }
  };
  if (up) {
    for (auto it = kModifierOrder.rbegin(); it != kModifierOrder.rend(); ++it) {
      if (modifiers & *it) {
        send(*it);
      }
    }
  } else {
    for (Modifier m : kModifierOrder) {
      if (modifiers & m) {
        send(m);
      }
    }
  }
}

// One typing: the platform hears when it begins and when it ends, and the
// modifiers the user holds are let go for it and pressed again after it, on every
// way out (an exception included), each event followed by the gap a console needs
// (none otherwise). Caps Lock is left alone: the layout's answer for each
// character already takes it into account.
class TypingSession {
public:
  TypingSession(const Platform &platform, std::u16string_view text, const TypingOptions &options,
                std::chrono::milliseconds gap)
      : platform_(platform), gap_(gap) {
    platform_.keyboard.begin_typing(text, options.mode, options.keep_typing);
    held_ = platform_.keyboard.held_modifiers();
    set_modifiers(platform_, held_, true, gap_);
  }
  ~TypingSession() {
    set_modifiers(platform_, held_, false, gap_);
    platform_.keyboard.end_typing();
  }
  TypingSession(const TypingSession &) = delete;
  TypingSession &operator=(const TypingSession &) = delete;

private:
  Platform platform_;
  unsigned held_ = 0;
  std::chrono::milliseconds gap_;
};

// Types straight away: the layout's key, or the character itself.
class DirectTyping {
public:
  explicit DirectTyping(const Platform &platform) : platform_(platform) {}
  void key(Key key) { tap(platform_, key); }
  bool character(char32_t ch) {
    const std::optional<KeyLocation> where = platform_.keyboard.locate(ch);
    if (!where || where->dead) {
      return platform_.keyboard.send_character(ch);
    }
    set_modifiers(platform_, where->modifiers, false);
    platform_.keyboard.send_layout_key(where->key, false);
    platform_.keyboard.send_layout_key(where->key, true);
    set_modifiers(platform_, where->modifiers, true);
    return true;
  }

private:
  Platform platform_;
};

// Types as a person at a keyboard would, at a pace a console keeps up with: a
// modifier stays down across a run of characters that need it, and every event
// has time to itself.
class ConsoleTyping {
public:
  ConsoleTyping(const Platform &platform, const ConsolePace &pace)
      : platform_(platform), pace_(pace) {}
  ~ConsoleTyping() { hold(0); }
  ConsoleTyping(const ConsoleTyping &) = delete;
  ConsoleTyping &operator=(const ConsoleTyping &) = delete;

  void key(Key key) {
    // A console's own keypad decimal key types according to its NumLock (Delete
    // when it is off), and the keycode this computer sends for it may be one the
    // console's keyboard lacks: the character it types here goes instead, with a
    // key of the main block.
    if (key == Key::kKeypadDecimal) {
      if (const std::optional<char32_t> ch = platform_.keyboard.key_character(key);
          ch && character(*ch)) {
        return;
      }
    }
    hold(0);
    event([&] { platform_.keyboard.send_key(key, false); });
    event([&] { platform_.keyboard.send_key(key, true); });
  }
  // False when no key sequence of the layout types the character.
  bool character(char32_t ch) {
    std::vector<KeyLocation> keys;
    if (const std::optional<KeyLocation> where = platform_.keyboard.locate(ch);
        where && !where->dead) {
      keys.push_back(*where);
    } else if (const std::optional<DeadKeySequence> sequence =
                   platform_.keyboard.dead_key_sequence(ch)) {
      keys = {sequence->dead, sequence->base};
    } else {
      return false;
    }
    for (const KeyLocation &k : keys) {
      hold(k.modifiers);
      event([&] { platform_.keyboard.send_layout_key(k.key, false); });
      event([&] { platform_.keyboard.send_layout_key(k.key, true); });
    }
    // A browser drops the key releases between a dead key and the next key, so a
    // web console (noVNC) would keep Shift down after a Shift dead key (¨ ^) and
    // type the letters after it in capitals: a Shift press and release puts it right.
    if (keys.size() == 2 && (keys[0].modifiers & kShift) && !(down_ & kShift)) {
      hold(kShift);
      hold(0);
    }
    return true;
  }

private:
  template <typename Send> void event(Send send) {
    send();
    platform_.keyboard.pause(pace_.between_events);
  }
  // Changes the modifiers held down to exactly these, with time around the change.
  void hold(unsigned modifiers) {
    if (modifiers == down_) {
      return;
    }
    platform_.keyboard.pause(pace_.around_modifiers);
    set_modifiers(platform_, down_ & ~modifiers, true, pace_.between_events);
    set_modifiers(platform_, modifiers & ~down_, false, pace_.between_events);
    down_ = modifiers;
    platform_.keyboard.pause(pace_.around_modifiers);
  }

  Platform platform_;
  ConsolePace pace_;
  unsigned down_ = 0;
};

// Types one text; done counts the characters typed before it, of total.
template <typename Typist>
TypingResult type_with(Typist &typist, const std::u16string &text, const TypingOptions &options,
                       std::size_t done, std::size_t total) {
  TypingResult result;
  std::size_t pos = 0, steps = 0;
  while (pos < text.size()) {
    if (steps++ > 0 && (steps - 1) % kCharactersBetweenChecks == 0) {
      if (options.progress) {
        options.progress(done, total);
      }
      if (options.keep_typing && !options.keep_typing()) {
        result.complete = false;
        break;
      }
    }
    ++done;
    const char32_t ch = next_code_point(text, pos);
    if (ch == U'\r') {
      if (pos < text.size() && text[pos] == u'\n') {
        ++pos;
        ++done;
      }
      typist.key(Key::kReturn);
    } else if (ch == U'\n') {
      typist.key(Key::kReturn);
    } else if (ch == U'\t') {
      typist.key(Key::kTab);
    } else if (ch < 0x20 || ch == 0x7F) {
      // Other control characters have no text of their own: typing them would
      // run commands in the target (Backspace, Escape, Ctrl+letter).
      ++result.skipped;
    } else if (!typist.character(ch)) {
      ++result.skipped;
    }
  }
  return result;
}

// Types every step with one typist: the layout is looked at once, the user's
// modifiers are let go once, and a key between texts keeps a console's pace.
template <typename Typist>
TypingResult type_steps(Typist &typist, const PastePlan &steps, const TypingOptions &options,
                        std::size_t total) {
  TypingResult result;
  std::size_t done = 0;
  for (const PasteStep &step : steps) {
    if (step.kind == PasteStep::Kind::TypeText) {
      const TypingResult piece = type_with(typist, step.text, options, done, total);
      result.skipped += piece.skipped;
      if (!piece.complete) {
        result.complete = false;
        return result;
      }
      done += code_point_count(step.text);
    } else {
      if (options.keep_typing && !options.keep_typing()) {
        result.complete = false;
        return result;
      }
      typist.key(step.key);
    }
  }
  if (options.progress) {
    options.progress(total, total);
  }
  return result;
}

} // namespace

void tap(const Platform &platform, Key key) {
  platform.keyboard.send_key(key, false);
  platform.keyboard.send_key(key, true);
}

void press_key(const Platform &platform, std::int32_t virtual_key) {
  if (virtual_key < 0 || virtual_key > 255) {
    throw overflow_error();
  }
  if (const std::optional<Key> key = key_for_virtual_key(static_cast<std::uint8_t>(virtual_key))) {
    tap(platform, *key);
  }
}

TypingResult type_text(const Platform &platform, const std::u16string &text,
                       const TypingOptions &options) {
  return type_paste(platform, {PasteStep{PasteStep::Kind::TypeText, text}}, options);
}

TypingResult type_paste(const Platform &platform, const PastePlan &steps,
                        const TypingOptions &options) {
  std::u16string text; // everything typed as characters, for the platform to prepare
  for (const PasteStep &step : steps) {
    if (step.kind == PasteStep::Kind::TypeText) {
      text += step.text;
    }
  }
  if (text.empty()) {
    return {};
  }
  const std::size_t total = code_point_count(text);
  const bool console = options.mode == TypingMode::kConsole;
  TypingSession session(platform, text, options,
                        console ? options.pace.around_modifiers : std::chrono::milliseconds{});
  if (console) {
    ConsoleTyping typist(platform, options.pace);
    return type_steps(typist, steps, options, total);
  }
  DirectTyping typist(platform);
  return type_steps(typist, steps, options, total);
}

} // namespace teclix
