// The connection to the X server: the display, the atoms the backend uses, a hidden
// window for replies, and a scoped trap for the X errors of a few requests.
#include "platform/x11/x11_connection.h"

#include <cstdio>
#include <fcntl.h>

#include <X11/XKBlib.h>
#include <X11/extensions/XTest.h>

namespace teclix::x11 {

namespace {

// Errors no trap catches are reported, and the program goes on.
int report_x_error(Display *display, XErrorEvent *error) {
  std::fprintf(stderr, "teclix: error de X (petición %u): %s\n", error->request_code,
               x_error_text(display, error->error_code).c_str());
  return 0;
}

Atoms intern_atoms(Display *d) {
  auto atom = [d](const char *name) { return XInternAtom(d, name, False); };
  return Atoms{
      atom("CLIPBOARD"),        atom("UTF8_STRING"),           atom("INCR"),
      atom("TARGETS"),          atom("TECLIX_CLIPBOARD_UTF8"), atom("TECLIX_CLIPBOARD_STRING"),
      atom("WM_PROTOCOLS"),     atom("WM_DELETE_WINDOW"),      atom("_NET_ACTIVE_WINDOW"),
      atom("_NET_CLIENT_LIST"), atom("_NET_WM_NAME"),          atom("_NET_WM_ICON"),
      atom("TECLIX_TIMESTAMP"), atom("_NET_WM_WINDOW_TYPE"),   atom("_NET_WM_WINDOW_TYPE_DIALOG"),
      atom("_NET_WM_STATE"),    atom("_NET_WM_STATE_MODAL")};
}

Window create_helper(Display *d) {
  XSetWindowAttributes attributes{};
  attributes.event_mask = PropertyChangeMask;
  return XCreateWindow(d, DefaultRootWindow(d), -10, -10, 1, 1, 0, CopyFromParent, InputOnly,
                       CopyFromParent, CWEventMask, &attributes);
}

ErrorTrap *g_innermost = nullptr;

} // namespace

std::unique_ptr<Connection> Connection::open(const char *display_name, std::string &error) {
  Display *display = XOpenDisplay(display_name);
  const std::string name = std::string("\"") + XDisplayName(display_name) + "\"";
  if (!display) {
    error = "no se pudo conectar con el servidor X " + name +
            " (XOpenDisplay falló; ¿está definida DISPLAY?)";
    return nullptr;
  }
  int opcode = 0, event = 0, err = 0, major = 0, minor = 0;
  if (!XTestQueryExtension(display, &event, &err, &major, &minor)) {
    error = "el servidor X " + name + " no tiene la extensión XTEST, necesaria para teclear";
    XCloseDisplay(display);
    return nullptr;
  }
  major = XkbMajorVersion;
  minor = XkbMinorVersion;
  if (!XkbQueryExtension(display, &opcode, &event, &err, &major, &minor)) {
    error = "el servidor X " + name +
            " no tiene la extensión XKEYBOARD, necesaria para leer el teclado";
    XCloseDisplay(display);
    return nullptr;
  }
  return std::unique_ptr<Connection>(new Connection(display));
}

Connection::Connection(Display *d)
    : display(d), root(DefaultRootWindow(d)), screen(DefaultScreen(d)), atoms(intern_atoms(d)),
      helper(create_helper(d)) {
  XSetErrorHandler(report_x_error);
  // Programs started from here (the browser) must not inherit the connection.
  fcntl(ConnectionNumber(display), F_SETFD, FD_CLOEXEC);
}

Connection::~Connection() {
  XDestroyWindow(display, helper);
  XCloseDisplay(display);
}

ErrorTrap::ErrorTrap(Display *display) : display_(display), outer_(g_innermost) {
  if (display_) {
    XSync(display_, False); // errors of earlier requests are not ours
  }
  previous_ = XSetErrorHandler(on_error);
  g_innermost = this;
}

ErrorTrap::~ErrorTrap() {
  if (display_) {
    XSync(display_, False);
  }
  g_innermost = outer_;
  XSetErrorHandler(previous_);
}

int ErrorTrap::error_code() {
  if (display_) {
    XSync(display_, False);
  }
  return code_;
}

int ErrorTrap::on_error(Display *, XErrorEvent *error) {
  if (g_innermost && g_innermost->code_ == 0) {
    g_innermost->code_ = error->error_code;
  }
  return 0;
}

std::string x_error_text(Display *display, int code) {
  char text[256];
  XGetErrorText(display, code, text, sizeof text);
  return text;
}

} // namespace teclix::x11
