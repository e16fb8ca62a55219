// teclix: pastes by typing on an X11 desktop. While its window is open, F10
// types the clipboard's text into the focused window.
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/x11/x11_platform.h"
#include "typing/main_loop.h"
#include "typing/runtime_error.h"
#include "window/form1.h"

namespace {

// The connection to the X server is gone (the server ended, or the session
// closed): there is nothing left to type into, so say so and end.
int on_connection_lost(Display *display) {
  const char *name = display ? DisplayString(display) : nullptr;
  std::fprintf(stderr, "teclix: se ha perdido la conexión con el servidor X %s; Teclix termina.\n",
               name ? name : "");
  std::exit(1);
}

} // namespace

int main() {
  std::setlocale(LC_ALL, "");
  XSetIOErrorHandler(on_connection_lost);
  std::string error;
  std::unique_ptr<teclix::x11::X11Platform> platform =
      teclix::x11::X11Platform::open(nullptr, error);
  if (!platform) {
    std::fprintf(stderr, "teclix: %s\n", error.c_str());
    return 1;
  }
  teclix::x11::catch_stop_signals();
  teclix::Form1 form(platform->parts());
  if (const auto error = teclix::run_to_the_end([&] { form.Load(); })) {
    platform->show_last_resort_error(error->message());
    return 1;
  }
  return 0;
}
