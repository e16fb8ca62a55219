// What the X11 window and its message box decide apart from the X server: sizes
// at the screen's DPI, which part of the window the pointer is over, the buttons
// of a message box style, word wrapping and the icon property. Kept apart so the
// decisions can be checked without a display.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace teclix::x11 {

// The screen's DPI from the Xft.dpi resource value; 96 when it is missing or not
// a usable number.
double dpi_from_resource(const char *value);

// A length given in pixels at 96 DPI, on a screen of this DPI.
int scale_pixels(int pixels_at_96, double dpi);
// A length in twips (1440 to the inch), in pixels on a screen of this DPI.
int twips_to_pixels(int twips, double dpi);

struct Rect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool contains(int px, int py) const {
    return px >= x && py >= y && px < x + width && py < y + height;
  }
  bool operator==(const Rect &) const = default;
};

// Where the main window puts things, in pixels.
struct MainLayout {
  int width = 0; // client area
  int height = 0;
  Rect instruction; // the instruction label, which wraps its text inside
  int link_x = 0;   // top-left corner of the link label, which sizes itself to its text
  int link_y = 0;
  Rect button; // the paste button, in the top right corner above the link
};
MainLayout main_layout(double dpi);

enum class PointerArea { kLink, kButton, kInstruction, kBackground, kOutside };
// What a pointer at (x, y) in the window's coordinates is over.
PointerArea pointer_area(const MainLayout &layout, const Rect &link, int x, int y);

// --- Message boxes ---------------------------------------------------------------

struct DialogButton {
  std::string caption;               // UTF-8
  BoxAnswer result = BoxAnswer::kOk; // what the box returns when it is pressed
  bool operator==(const DialogButton &) const = default;
};
// The buttons of a message box, left to right.
std::vector<DialogButton> dialog_buttons(const MessageBoxStyle &style);
// What closing the box (window close, Escape) returns; nullopt when the style has
// no way out but its buttons.
std::optional<BoxAnswer> dialog_dismiss_result(const MessageBoxStyle &style);
// The button that starts with the focus (the first when there is no such button).
std::size_t dialog_default_button(const MessageBoxStyle &style);

// --- Text ---------------------------------------------------------------------------

// Breaks UTF-8 text into lines no wider than width, at spaces and at the text's own
// line breaks (CR, LF or CR LF). A word wider than the width gets a line of its own.
std::vector<std::string> wrap_text(const std::string &text, int width,
                                   const std::function<int(const std::string &)> &measure);

// --- Icon -----------------------------------------------------------------------------

// The _NET_WM_ICON value for RGBA pixels: width, height, then one ARGB value a pixel.
std::vector<unsigned long> net_wm_icon(std::span<const unsigned char> rgba, int width, int height);

} // namespace teclix::x11
