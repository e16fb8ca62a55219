// Text drawing for the X11 windows: fonts at the screen's DPI and text widths.
#pragma once

#include <initializer_list>
#include <string>

#include <X11/Xft/Xft.h>

namespace teclix::x11 {

// The fontconfig request for a font name and style ("Liberation Serif:bold") at a
// size in points on a screen of this DPI. Numbers are set as values, never written
// into the name, so the user's locale cannot change how they are read. The
// caller destroys it; nullptr when the name does not parse.
FcPattern *font_request(const char *name, double points, double dpi);

// The first of the named fonts that opens, at the given size and DPI.
XftFont *open_font(Display *display, int screen, double points, double dpi,
                   std::initializer_list<const char *> names);

// How far a UTF-8 text advances in the font, in pixels.
int text_width(Display *display, XftFont *font, const std::string &text);

} // namespace teclix::x11
