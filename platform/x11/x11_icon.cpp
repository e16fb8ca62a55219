#include "platform/x11/x11_icon.h"

namespace teclix::x11 {

std::vector<unsigned long> net_wm_icon(std::span<const unsigned char> rgba, int width, int height) {
  const std::size_t pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  if (width <= 0 || height <= 0 || rgba.size() != pixels * 4) {
    return {};
  }
  std::vector<unsigned long> out;
  out.reserve(2 + pixels);
  out.push_back(static_cast<unsigned long>(width));
  out.push_back(static_cast<unsigned long>(height));
  for (std::size_t i = 0; i < pixels; ++i) {
    const unsigned long r = rgba[4 * i], g = rgba[4 * i + 1], b = rgba[4 * i + 2],
                        a = rgba[4 * i + 3];
    out.push_back(a << 24 | r << 16 | g << 8 | b);
  }
  return out;
}

} // namespace teclix::x11
