// Text drawing for the X11 windows: fonts at the screen's DPI and text widths.
#include "platform/x11/x11_text.h"

namespace teclix::x11 {

FcPattern *font_request(const char *name, double points, double dpi) {
  FcPattern *pattern = FcNameParse(reinterpret_cast<const FcChar8 *>(name));
  if (!pattern) {
    return nullptr;
  }
  FcPatternDel(pattern, FC_SIZE);
  FcPatternDel(pattern, FC_DPI);
  FcPatternAddDouble(pattern, FC_SIZE, points);
  FcPatternAddDouble(pattern, FC_DPI, dpi);
  return pattern;
}

XftFont *open_font(Display *display, int screen, double points, double dpi,
                   std::initializer_list<const char *> names) {
  for (const char *name : names) {
    FcPattern *request = font_request(name, points, dpi);
    if (!request) {
      continue;
    }
    FcResult result = FcResultNoMatch;
    FcPattern *match = XftFontMatch(display, screen, request, &result);
    FcPatternDestroy(request);
    if (!match) {
      continue;
    }
    // The font takes the matched pattern over, and frees it with itself.
    if (XftFont *font = XftFontOpenPattern(display, match)) {
      return font;
    }
    FcPatternDestroy(match);
  }
  return nullptr;
}

int text_width(Display *display, XftFont *font, const std::string &text) {
  XGlyphInfo extents{};
  XftTextExtentsUtf8(display, font, reinterpret_cast<const FcChar8 *>(text.data()),
                     static_cast<int>(text.size()), &extents);
  return extents.xOff;
}

} // namespace teclix::x11
