// teclix: pastes by typing on a Linux desktop. While its window is open, F10
// types the clipboard's text into the focused window; "teclix --paste" asks the
// running Teclix to do the same (for a desktop shortcut where F10 cannot be
// taken, as on Wayland).
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/linux/paste_requests.h"
#include "platform/linux/wayland_session.h"
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

int main(int argc, char **argv) {
  std::setlocale(LC_ALL, "");
  if (argc == 2 && std::string(argv[1]) == "--paste") {
    return teclix::PasteRequests::send_request();
  }
  if (argc == 2 && std::string(argv[1]) == "--version") {
    std::printf("teclix %s\n", TECLIX_VERSION);
    return 0;
  }
  if (argc > 1) {
    std::fprintf(stderr, "Uso: teclix [--paste | --version]\n"
                         "  sin opciones: abre la ventana; F10 pega el portapapeles tecleándolo\n"
                         "  --paste: pide al Teclix abierto que pegue ahora\n"
                         "  --version: muestra la versión\n");
    return 2;
  }
  XSetIOErrorHandler(on_connection_lost);
  // "teclix --paste" reaches this window through a socket of the user's.
  teclix::PasteRequests requests;
  std::string error;
  std::unique_ptr<teclix::x11::X11Platform> platform =
      teclix::x11::X11Platform::open(nullptr, error);
  if (!platform) {
    std::fprintf(stderr, "teclix: %s\n", error.c_str());
    return 1;
  }
  teclix::x11::catch_stop_signals();
  if (std::string why; requests.listen(why)) {
    platform->watch(requests.fd(), [&requests] { return requests.accept_requests(); });
  } else if (!why.empty()) {
    std::fprintf(stderr, "teclix: «teclix --paste» no llegará a esta ventana: %s\n", why.c_str());
  }
  platform->set_paste_requests(
      {[&requests] { return requests.take(); }, [&requests] { requests.drop_requests(); }});
  // In a Wayland session the keys (and the clipboard) go through the compositor.
  const std::unique_ptr<teclix::wayland::WaylandSession> wayland =
      teclix::wayland::WaylandSession::open(*platform);
  teclix::Form1 form(wayland ? wayland->parts() : platform->parts());
  if (const auto error = teclix::run_to_the_end([&] { form.Load(); })) {
    platform->show_last_resort_error(error->message());
    return 1;
  }
  return 0;
}
