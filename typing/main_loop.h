// The program's only loop: waits for events, and pastes on each F10 press.
#pragma once

#include "platform/platform.h"

namespace teclix {

inline constexpr int kHotkeyId = 0xBFFF;
inline constexpr unsigned kHotkeyModifiers = 0;
inline constexpr unsigned kVkF10 = 0x79;

// The control with the keyboard focus in the foreground window, or 0.
WindowHandle GetFocusHandle(Platform &platform);

// One paste: the clipboard's text, shaped and typed into the focused control.
// Does nothing when nothing has the focus or the clipboard holds no text.
void paste_clipboard(Platform &platform);

// Runs until Finalizar becomes true (it is set by the window's unload, which runs
// inside the event pump).
void Bucle_Principal(Platform &platform, WindowHandle window, const bool &Finalizar);

} // namespace teclix
