// Where the main window puts things at the screen's DPI, which part of it the
// pointer is over, and how text wraps in a label; apart from the X server, so it
// can be checked without a display.
#pragma once

#include <functional>
#include <string>
#include <vector>

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

// Breaks UTF-8 text into lines no wider than width, at spaces and at the text's own
// line breaks (CR, LF or CR LF). A word wider than the width gets a line of its own.
std::vector<std::string> wrap_text(const std::string &text, int width,
                                   const std::function<int(const std::string &)> &measure);

} // namespace teclix::x11
