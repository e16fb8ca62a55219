// Which windows are consoles: virtual-machine and remote-desktop clients, whose
// keys go on to another machine as scan codes, and browser pages of web consoles.
#pragma once

#include <string_view>

#include "platform/platform.h"

namespace teclix {

// One kind of console window, and how it is known.
struct ConsoleClient {
  std::u16string_view name;    // what the user knows it as
  std::u16string_view program; // an executable's or WM_CLASS instance's name, or empty
  // For a browser page: the name its title ends with, as "NAME" alone or after
  // " - ", " — " or " | " (the browser's own name after the page's taken off).
  std::u16string_view page_title;
};

// Whether keys typed into this window go to a console, which is then typed into
// as a keyboard would (TypingMode::kConsole). Names compare without case, and
// without a Windows executable's ".exe".
bool is_console(const TargetWindow &target);

// Whether the console takes keys as fast as they come: a VNC viewer whose title
// shows an X desktop of Xvnc ("user@host - TigerVNC", or "host:N (user) -
// TigerVNC" as its vncserver script names it). It is still typed into with the
// keyboard's keys only: Xvnc adds a character no key of its map types only while
// its few free keycodes last, and past them drops it without a word.
bool keeps_up(const TargetWindow &target);

} // namespace teclix
