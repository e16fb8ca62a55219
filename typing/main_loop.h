// The program's only loop: waits for events, and pastes on each F10 press.
#pragma once

#include <cstddef>

#include "platform/platform.h"

namespace teclix {

inline constexpr int kHotkeyId = 0xBFFF;
inline constexpr Key kHotkey = Key::kF10;
inline constexpr unsigned kHotkeyModifiers = 0;

// Hears how a paste goes, to tell the user.
class PasteListener {
public:
  virtual ~PasteListener() = default;
  // A paste that has run for a while: done of total characters typed so far.
  virtual void paste_progress(std::size_t done, std::size_t total) = 0;
  // A paste ended (typed whole, or stopped); skipped characters were left out.
  virtual void paste_finished(std::size_t skipped) = 0;
};

// One paste: the clipboard's text, shaped and typed into the focused control,
// as into a console where the focused window is one. Does nothing when nothing
// has the focus or the clipboard holds no text.
void paste_clipboard(Platform &platform, PasteListener *listener = nullptr);

// Runs until stop becomes true (it is set by the window's unload, which runs
// inside the event pump).
void run_main_loop(Platform &platform, WindowHandle window, const bool &stop,
                   PasteListener *listener = nullptr);

} // namespace teclix
