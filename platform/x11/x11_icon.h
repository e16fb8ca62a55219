// The window icon as the _NET_WM_ICON property wants it.
#pragma once

#include <span>
#include <vector>

namespace teclix::x11 {

// The _NET_WM_ICON value for RGBA pixels: width, height, then one ARGB value a pixel.
std::vector<unsigned long> net_wm_icon(std::span<const unsigned char> rgba, int width, int height);

} // namespace teclix::x11
