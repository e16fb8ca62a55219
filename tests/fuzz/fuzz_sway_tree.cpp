// Fuzzes the reading of sway's layout tree, another program's JSON: any bytes
// are read without a crash, and whitespace around the text changes nothing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/wayland/sway_tree.h"

using namespace teclix::wayland;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const std::string text(reinterpret_cast<const char *>(data), size);
  const std::optional<SwayWindow> window = focused_window(text);
  const std::optional<SwayWindow> spaced = focused_window(" \n" + text + "\t ");
  if (window.has_value() != spaced.has_value() ||
      (window && (window->id != spaced->id || window->app_id != spaced->app_id ||
                  window->title != spaced->title || window->x11_window != spaced->x11_window))) {
    std::abort();
  }
  return 0;
}
