#include "platform/x11/x11_layout.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace teclix::x11 {

double dpi_from_resource(const char *value) {
  if (!value || !*value) {
    return 96.0;
  }
  // A resource is written with a decimal point, whatever the user's locale says.
  double dpi = 0.0;
  const char *end = value + std::strlen(value);
  const auto [stop, error] = std::from_chars(value, end, dpi);
  if (error != std::errc{} || stop == value || !std::isfinite(dpi) || dpi < 24.0 || dpi > 1200.0) {
    return 96.0;
  }
  return dpi;
}

int scale_pixels(int pixels_at_96, double dpi) {
  return static_cast<int>(std::lround(pixels_at_96 * dpi / 96.0));
}

int twips_to_pixels(int twips, double dpi) {
  return static_cast<int>(std::lround(twips * dpi / 1440.0));
}

MainLayout main_layout(double dpi) {
  MainLayout layout;
  // The window is 6480 x 2505 twips; the instruction label sits at (15, 1260),
  // 6375 x 1110; the link label's corner is at (60, 435).
  layout.width = twips_to_pixels(6480, dpi);
  layout.height = twips_to_pixels(2505, dpi);
  layout.instruction = Rect{twips_to_pixels(15, dpi), twips_to_pixels(1260, dpi),
                            twips_to_pixels(6375, dpi), twips_to_pixels(1110, dpi)};
  layout.link_x = twips_to_pixels(60, dpi);
  layout.link_y = twips_to_pixels(435, dpi);
  // The strip above the link is free: the button sits there, at the right.
  const int button_width = scale_pixels(104, dpi), button_height = scale_pixels(22, dpi);
  layout.button = Rect{layout.width - scale_pixels(8, dpi) - button_width, scale_pixels(4, dpi),
                       button_width, button_height};
  return layout;
}

PointerArea pointer_area(const MainLayout &layout, const Rect &link, int x, int y) {
  if (!Rect{0, 0, layout.width, layout.height}.contains(x, y)) {
    return PointerArea::kOutside;
  }
  // The link is drawn last, so it is on top where the two labels meet.
  if (link.contains(x, y)) {
    return PointerArea::kLink;
  }
  if (layout.button.contains(x, y)) {
    return PointerArea::kButton;
  }
  if (layout.instruction.contains(x, y)) {
    return PointerArea::kInstruction;
  }
  return PointerArea::kBackground;
}

std::vector<std::string> wrap_text(const std::string &text, int width,
                                   const std::function<int(const std::string &)> &measure) {
  std::vector<std::string> paragraphs(1);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
        ++i;
      }
      paragraphs.emplace_back();
    } else {
      paragraphs.back() += text[i];
    }
  }
  std::vector<std::string> out;
  for (const std::string &paragraph : paragraphs) {
    std::string current;
    std::size_t pos = 0;
    while (true) {
      const std::size_t space = paragraph.find(' ', pos);
      const std::string word =
          paragraph.substr(pos, space == std::string::npos ? std::string::npos : space - pos);
      const std::string candidate = current.empty() ? word : current + " " + word;
      if (!current.empty() && measure(candidate) > width) {
        out.push_back(current);
        current = word;
      } else {
        current = candidate;
      }
      if (space == std::string::npos) {
        break;
      }
      pos = space + 1;
    }
    // Trailing spaces stay with the line: they take no room on screen.
    out.push_back(current);
  }
  while (!out.empty() && out.back().empty()) {
    out.pop_back();
  }
  return out;
}

} // namespace teclix::x11
