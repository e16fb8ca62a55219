// The program's only loop: waits for events, and pastes on each F10 press.
#pragma once

#include <cstddef>
#include <string>

#include "platform/platform.h"
#include "typing/countdown.h"

namespace teclix {

inline constexpr Key kHotkey = Key::kF10;
inline constexpr unsigned kHotkeyModifiers = 0;

// How a countdown ended without typing.
enum class CountdownEnd {
  kCancelled, // by the user (Esc, F10 or the button again)
  kNoText,    // the clipboard held no text, so it never started
  kNoTarget,  // at zero nothing but this program's own window had the focus
};

// Hears how a paste goes, to tell the user.
class PasteListener {
public:
  virtual ~PasteListener() = default;
  // A paste that has run for a while: done of total characters typed so far.
  virtual void paste_progress(std::size_t done, std::size_t total) = 0;
  // A paste ended (typed whole, or stopped); skipped characters were left out.
  virtual void paste_finished(std::size_t skipped) = 0;
  // A countdown shows its seconds left (PasteCountdown::kSeconds down to 1).
  virtual void countdown_shown(int seconds_left) = 0;
  // A countdown ended with nothing typed.
  virtual void countdown_ended(CountdownEnd why) = 0;
  // F10 (or a paste asked for) found no text in the clipboard.
  virtual void nothing_to_paste() {}
  // Nothing was typed: the target's program runs with more privileges than this
  // one (as administrator), and the system would drop every key sent to it.
  virtual void target_elevated() {}
};

// One paste: the clipboard's text, shaped and typed into the focused control,
// as into a console where the focused window is one. Does nothing when nothing
// has the focus or the clipboard holds no text, and types nothing into a window
// whose program the system keeps this program's keys from.
void paste_clipboard(const Platform &platform, PasteListener *listener = nullptr);
// The same for a text already read.
void paste_text(const Platform &platform, const std::u16string &text, PasteListener *listener);

// Starts a countdown with the clipboard's text, or stops the one running.
void start_or_stop_countdown(const Platform &platform, PasteCountdown &countdown,
                             PasteListener *listener);

// Runs until stop becomes true (it is set by the window's unload, which runs
// inside the event pump). F10 while the program's own window has the focus, or
// while a countdown runs, starts or stops the countdown instead of pasting.
void run_main_loop(const Platform &platform, WindowHandle window, const bool &stop,
                   PasteListener *listener = nullptr, PasteCountdown *countdown = nullptr);

} // namespace teclix
