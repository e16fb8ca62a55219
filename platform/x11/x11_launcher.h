// Opening a web address in the user's browser.
#pragma once

#include <string>

namespace teclix::x11 {

// Hands the address to xdg-open without waiting for it; a failure stays silent.
void open_in_browser(const std::string &address);

} // namespace teclix::x11
