// Typing by synthetic key presses: each character arrives as itself.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/platform.h"
#include "typing/paste_plan.h"

namespace teclix {

// Presses and releases the key of a Windows virtual-key code; a code that names
// no key presses nothing. A value outside 0-255 is an overflow error.
void press_key(const Platform &platform, std::int32_t virtual_key);
// Presses and releases one key.
void tap(const Platform &platform, Key key);

// How fast a console is typed into. Its input path takes one key event at a time
// (QEMU's VNC server hands one to the guest every 10 ms and drops what overflows
// its queue, a dropped Shift release leaving Shift down in the guest): 12 ms
// between events leaves a margin for a loaded machine, and a modifier change gets
// time of its own for consoles slower to apply it. (The measurements: docs/performance.md.)
struct ConsolePace {
  std::chrono::milliseconds between_events{12};
  std::chrono::milliseconds around_modifiers{10};
};
inline constexpr ConsolePace kConsolePace{};

struct TypingOptions {
  TypingMode mode = TypingMode::kDirect;
  ConsolePace pace = kConsolePace;
  // Asked every few characters whether typing may go on; when it says no, the
  // rest of the text is not typed.
  std::function<bool()> keep_typing;
  // Told every few characters how many of the text's characters are done.
  std::function<void(std::size_t done, std::size_t total)> progress;
};
inline constexpr std::size_t kCharactersBetweenChecks = 8;

struct TypingResult {
  bool complete = true;    // false when keep_typing stopped it
  std::size_t skipped = 0; // characters left out: control characters, and in a
                           // console characters no key sequence types
};

// Types a text, each character as itself, into whatever has the focus. Directly:
// the layout's key with the Shift/AltGr it needs where there is one, the character
// itself where there is none. Into a console: only the keys a person would press
// (dead key and letter for accented letters), paced, with a modifier held across a
// run of characters that need it. CR, LF and CR LF are one Enter each; tab is Tab.
// Caps Lock is never pressed; modifiers the user holds are let go for the typing
// and pressed again after it.
TypingResult type_text(const Platform &platform, const std::u16string &text,
                       const TypingOptions &options = {});

// Types the steps of a paste as one typing, the same way: a key between two
// texts (the keypad decimal key of a number) is pressed as the typing presses
// Tab or Enter, so a console gets its pace and held modifiers stay let go.
TypingResult type_paste(const Platform &platform, const PastePlan &steps,
                        const TypingOptions &options = {});

} // namespace teclix
