// Small X11 jobs for the end-to-end scripts that no standard tool does.
//   x11_tool grab-f10        holds F10 like another program would, until killed;
//                            prints "ready", or "busy" and exits 3 if F10 is held
//   x11_tool focus none|pointer  moves the keyboard focus to nothing / PointerRoot
//   x11_tool keymap          prints the keyboard map of the current group
//   x11_tool caps            prints "on" or "off" for Caps Lock
//   x11_tool watch-locks     prints "ready", then "locks MASK" each time a locked
//                            modifier (Caps Lock, NumLock) changes, until killed
//   x11_tool close WINDOW    asks a window to close (WM_DELETE_WINDOW)
//   x11_tool free-keycodes N unbinds the N highest keycodes that hold keysyms but
//                            no modifier, so that the server has room to add keysyms
//   x11_tool hold-clipboard  owns the clipboard and never answers, until killed;
//                            prints "request" for each request it leaves unanswered
//   x11_tool serve-clipboard-in-pieces FILE BYTES  owns the clipboard and hands out
//                            FILE's UTF-8 text in pieces of BYTES (INCR), as large
//                            clipboards are; prints "ready", then "served" after each
//   x11_tool serve-clipboard-late FILE  owns the clipboard and answers with FILE's
//                            UTF-8 text (UTF8_STRING only), but the first request only
//                            when the next comes, and then with its text gone (as a
//                            requestor finds a late answer once it has cleared the
//                            property for its next request; the next answer comes
//                            200 ms later); prints "ready"
//   x11_tool grab-media-keys grabs every key that holds only vendor (media) keysyms, as a
//                            desktop's media-key service does; prints "ready", then
//                            "stolen KEYCODE" for each press it receives, until killed
//   x11_tool watch-keys      prints the keysym of each key press that reaches the
//                            root window (nothing focused, pointer over the desktop)
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include "platform/xkb/keymap.h"
#include "platform/x11/x11_platform.h"

namespace {

int g_error = 0;
int remember_error(Display *, XErrorEvent *e) {
  g_error = e->error_code;
  return 0;
}

} // namespace

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: x11_tool grab-f10 | focus none|root | keymap\n");
    return 2;
  }
  Display *display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "x11_tool: cannot open display %s\n", XDisplayName(nullptr));
    return 1;
  }
  const std::string command = argv[1];
  const Window root = DefaultRootWindow(display);
  if (command == "grab-f10") {
    XGrabKey(display, XKeysymToKeycode(display, XK_F10), AnyModifier, root, True, GrabModeAsync,
             GrabModeAsync);
    XSetErrorHandler(remember_error);
    XSync(display, False);
    if (g_error != 0) {
      std::printf("busy\n");
      return 3;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    while (true) {
      XEvent e;
      XNextEvent(display, &e);
    }
  }
  if (command == "grab-media-keys") {
    int low = 0, high = 0, per = 0;
    XDisplayKeycodes(display, &low, &high);
    KeySym *syms = XGetKeyboardMapping(display, static_cast<KeyCode>(low), high - low + 1, &per);
    int grabbed = 0;
    for (int kc = low; kc <= high; ++kc) {
      bool any = false, vendor_only = true;
      for (int i = 0; i < per; ++i) {
        const KeySym sym = syms[(kc - low) * per + i];
        any = any || sym != NoSymbol;
        vendor_only = vendor_only && (sym == NoSymbol || (sym >= 0x10080000 && sym <= 0x1008FFFF));
      }
      if (any && vendor_only) {
        XGrabKey(display, kc, 0, root, True, GrabModeAsync, GrabModeAsync);
        ++grabbed;
      }
    }
    XFree(syms);
    XSync(display, False);
    std::printf("ready %d\n", grabbed);
    std::fflush(stdout);
    while (true) {
      XEvent e;
      XNextEvent(display, &e);
      if (e.type == KeyPress) {
        std::printf("stolen %u\n", e.xkey.keycode);
        std::fflush(stdout);
      }
    }
  }
  if (command == "focus" && argc == 3) {
    const std::string where = argv[2];
    XSetInputFocus(display, where == "pointer" ? PointerRoot : None, RevertToNone, CurrentTime);
    XSync(display, False);
    XCloseDisplay(display);
    return 0;
  }
  if (command == "keymap") {
    std::fputs(teclix::x11::dump_keymap(teclix::x11::read_keymap(display)).c_str(), stdout);
    XCloseDisplay(display);
    return 0;
  }
  if (command == "caps") {
    XkbStateRec state{};
    XkbGetState(display, XkbUseCoreKbd, &state);
    std::printf("%s\n", (state.locked_mods & LockMask) ? "on" : "off");
    XCloseDisplay(display);
    return 0;
  }
  if (command == "watch-locks") {
    XkbSelectEventDetails(display, XkbUseCoreKbd, XkbStateNotify, XkbModifierLockMask,
                          XkbModifierLockMask);
    XSync(display, False);
    std::printf("ready\n");
    std::fflush(stdout);
    int xkb_event = 0, error = 0, major = XkbMajorVersion, minor = XkbMinorVersion, opcode = 0;
    XkbQueryExtension(display, &opcode, &xkb_event, &error, &major, &minor);
    while (true) {
      XEvent e;
      XNextEvent(display, &e);
      if (e.type == xkb_event) {
        const auto *state = reinterpret_cast<const XkbStateNotifyEvent *>(&e);
        std::printf("locks %u\n", state->locked_mods);
        std::fflush(stdout);
      }
    }
  }
  if (command == "close" && argc == 3) {
    const Window window = std::strtoul(argv[2], nullptr, 0);
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = window;
    e.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &e);
    XSync(display, False);
    XCloseDisplay(display);
    return 0;
  }
  if (command == "free-keycodes" && argc == 3) {
    int left = std::atoi(argv[2]);
    int min = 0, max = 0, width = 0;
    XDisplayKeycodes(display, &min, &max);
    KeySym *syms = XGetKeyboardMapping(display, static_cast<KeyCode>(min), max - min + 1, &width);
    XModifierKeymap *modmap = XGetModifierMapping(display);
    for (int kc = max; kc >= min && left > 0; --kc) {
      bool modifier = false;
      for (int i = 0; i < 8 * modmap->max_keypermod; ++i) {
        modifier = modifier || modmap->modifiermap[i] == kc;
      }
      bool bound = false;
      for (int i = 0; i < width; ++i) {
        bound = bound || syms[(kc - min) * width + i] != NoSymbol;
      }
      if (bound && !modifier) {
        KeySym none[2] = {NoSymbol, NoSymbol};
        XChangeKeyboardMapping(display, kc, 2, none, 1);
        --left;
      }
    }
    XFreeModifiermap(modmap);
    XFree(syms);
    XSync(display, False);
    XCloseDisplay(display);
    return left == 0 ? 0 : 1;
  }
  if (command == "hold-clipboard") {
    const Window window = XCreateSimpleWindow(display, root, 0, 0, 1, 1, 0, 0, 0);
    XSetSelectionOwner(display, XInternAtom(display, "CLIPBOARD", False), window, CurrentTime);
    XSync(display, False);
    std::printf("ready\n");
    std::fflush(stdout);
    while (true) {
      XEvent e;
      XNextEvent(display, &e); // selection requests are left unanswered
      if (e.type == SelectionRequest) {
        std::printf("request\n");
        std::fflush(stdout);
      }
    }
  }
  if (command == "serve-clipboard-in-pieces" && argc == 4) {
    std::ifstream file(argv[2], std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(file), {}};
    const std::size_t piece = std::strtoul(argv[3], nullptr, 10);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    const Atom incr = XInternAtom(display, "INCR", False);
    const Window window = XCreateSimpleWindow(display, root, 0, 0, 1, 1, 0, 0, 0);
    XSetSelectionOwner(display, XInternAtom(display, "CLIPBOARD", False), window, CurrentTime);
    XSync(display, False);
    std::printf("ready\n");
    std::fflush(stdout);
    Window requestor = None; // the transfer under way, if any
    Atom property = None;
    std::size_t sent = 0;
    while (true) {
      XEvent e;
      XNextEvent(display, &e);
      if (e.type == SelectionRequest && requestor == None) {
        XSelectionEvent answer{};
        answer.type = SelectionNotify;
        answer.requestor = e.xselectionrequest.requestor;
        answer.selection = e.xselectionrequest.selection;
        answer.target = e.xselectionrequest.target;
        answer.time = e.xselectionrequest.time;
        answer.property = None;
        if (e.xselectionrequest.target == utf8) {
          requestor = e.xselectionrequest.requestor;
          property = e.xselectionrequest.property;
          sent = 0;
          XSelectInput(display, requestor, PropertyChangeMask);
          const long size = static_cast<long>(text.size());
          XChangeProperty(display, requestor, property, incr, 32, PropModeReplace,
                          reinterpret_cast<const unsigned char *>(&size), 1);
          answer.property = property;
        }
        XSendEvent(display, e.xselectionrequest.requestor, False, 0,
                   reinterpret_cast<XEvent *>(&answer));
        XFlush(display);
      } else if (e.type == PropertyNotify && e.xproperty.window == requestor &&
                 e.xproperty.atom == property && e.xproperty.state == PropertyDelete) {
        // The requestor took the last piece: the next one, and after the last an
        // empty one, which ends the transfer. Written after a while, as a busy
        // program does, so the requestor must wait for each piece.
        usleep(20000);
        const std::size_t n = std::min(piece, text.size() - sent);
        XChangeProperty(display, requestor, property, utf8, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char *>(text.data() + sent),
                        static_cast<int>(n));
        sent += n;
        if (n == 0) {
          XSelectInput(display, requestor, NoEventMask);
          requestor = None;
          std::printf("served\n");
          std::fflush(stdout);
        }
        XFlush(display);
      }
    }
  }
  if (command == "serve-clipboard-late" && argc == 3) {
    std::ifstream file(argv[2], std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(file), {}};
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    const Window window = XCreateSimpleWindow(display, root, 0, 0, 1, 1, 0, 0, 0);
    XSetSelectionOwner(display, XInternAtom(display, "CLIPBOARD", False), window, CurrentTime);
    XSetErrorHandler(remember_error); // a requestor window that is gone is no error of ours
    XSync(display, False);
    std::printf("ready\n");
    std::fflush(stdout);
    auto answer = [&](const XSelectionRequestEvent &r, bool with_text) {
      XSelectionEvent notify{};
      notify.type = SelectionNotify;
      notify.requestor = r.requestor;
      notify.selection = r.selection;
      notify.target = r.target;
      notify.time = r.time;
      notify.property = r.target == utf8 ? r.property : None;
      if (notify.property != None && with_text) {
        XChangeProperty(display, r.requestor, r.property, utf8, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char *>(text.data()),
                        static_cast<int>(text.size()));
      }
      XSendEvent(display, r.requestor, False, 0, reinterpret_cast<XEvent *>(&notify));
      XSync(display, False);
    };
    bool held = false;
    XSelectionRequestEvent first{};
    while (true) {
      XEvent e;
      XNextEvent(display, &e);
      if (e.type != SelectionRequest) {
        continue;
      }
      if (!held) {
        held = true;
        first = e.xselectionrequest;
        continue;
      }
      if (first.requestor != None) {
        // The late answer, as the requestor finds it once it has cleared the
        // property for its next request: the text is not there. The answer to
        // that next request comes a moment later.
        answer(first, false);
        first.requestor = None;
        usleep(200000);
      }
      answer(e.xselectionrequest, true);
      std::printf("answered\n");
      std::fflush(stdout);
    }
  }
  if (command == "watch-keys") {
    XSelectInput(display, root, KeyPressMask);
    XSync(display, False);
    std::printf("ready\n");
    std::fflush(stdout);
    while (true) {
      XEvent e;
      XNextEvent(display, &e);
      if (e.type == KeyPress) {
        std::printf("0x%lx\n", XLookupKeysym(&e.xkey, 0));
        std::fflush(stdout);
      }
    }
  }
  std::fprintf(stderr, "x11_tool: unknown command %s\n", command.c_str());
  return 2;
}
