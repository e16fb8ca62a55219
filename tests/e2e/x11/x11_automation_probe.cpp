// Drives the automation helper operations through the real X11 backend for the
// end-to-end tests, and records what a window receives. Results go to OUTPUT, one
// line each.
//
//   x11_automation_probe target OUTPUT NAME X Y   a 300 x 200 window at (X, Y) that logs
//                                                 the button events it gets and appends
//                                                 the characters of its key presses, UTF-8,
//                                                 to OUTPUT.typed
//   x11_automation_probe click OUTPUT X Y         Clickear(X, Y); logs the pointer before
//                                                 and after
//   x11_automation_probe rdbl OUTPUT WINDOW       Enviar_Pulsacion to that window (an id)
//   x11_automation_probe box OUTPUT OPTION        BoxQues with that option; logs the answer
//   x11_automation_probe text OUTPUT WINDOW       Enviar_Texto to that window
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "helpers/automation.h"
#include "platform/xkb/keymap.h"
#include "platform/x11/x11_platform.h"
#include "typing/main_loop.h"
#include "typing/runtime_error.h"
#include "typing/unicode.h"
#include "window/form1.h"

namespace {

std::string g_output;

void append(const std::string &file, const std::string &bytes) {
  if (FILE *f = std::fopen(file.c_str(), "ab")) {
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
}

void log_line(const std::string &line) {
  append(g_output, line + "\n");
}

std::string point(int x, int y) {
  return std::to_string(x) + " " + std::to_string(y);
}

int run_target(const char *name, int x, int y) {
  Display *display = XOpenDisplay(nullptr);
  if (!display) {
    return 1;
  }
  const int screen = DefaultScreen(display);
  XSetWindowAttributes a{};
  a.background_pixel = 0xD0E0F0;
  a.event_mask = ButtonPressMask | ButtonReleaseMask | KeyPressMask | StructureNotifyMask;
  const Window window =
      XCreateWindow(display, RootWindow(display, screen), x, y, 300, 200, 0, CopyFromParent,
                    InputOutput, CopyFromParent, CWBackPixel | CWEventMask, &a);
  XStoreName(display, window, name);
  // Load Xlib's copy of the keyboard map now, as a toolkit does at start: Xlib
  // follows changes to the map only from then on, and the keycodes lent to
  // characters are changes to it.
  KeySym first = NoSymbol;
  unsigned consumed_mods = 0;
  XkbLookupKeySym(display, 38, 0, &consumed_mods, &first);
  XMapRaised(display, window);
  bool right_pressed = false; // a first right press waits for a second one
  Time last_right_press = 0;
  while (true) {
    XEvent e;
    XNextEvent(display, &e);
    switch (e.type) {
    case MapNotify:
      log_line("ready");
      break;
    case MappingNotify:
      XRefreshKeyboardMapping(&e.xmapping);
      break;
    case ButtonPress:
    case ButtonRelease: {
      const bool press = e.type == ButtonPress;
      const std::string where = point(e.xbutton.x, e.xbutton.y);
      const std::string how = e.xbutton.send_event ? " sent" : "";
      if (e.xbutton.button == Button1) {
        log_line(std::string(press ? "left down " : "left up ") + where + how);
      } else if (e.xbutton.button == Button3) {
        log_line(std::string(press ? "right down " : "right up ") + where + how);
        // Two presses close together are a double click, as toolkits count them.
        if (press) {
          if (right_pressed && e.xbutton.time - last_right_press <= 400) {
            log_line("right double click " + where);
            right_pressed = false;
          } else {
            right_pressed = true;
            last_right_press = e.xbutton.time;
          }
        }
      }
      break;
    }
    case KeyPress: {
      KeySym keysym = NoSymbol;
      unsigned consumed = 0;
      XkbLookupKeySym(display, static_cast<KeyCode>(e.xkey.keycode), e.xkey.state, &consumed,
                      &keysym);
      const char32_t ch = teclix::x11::keysym_to_char(static_cast<teclix::x11::KeySym32>(keysym));
      if (ch == 0) {
        log_line("key without a character: keycode " + std::to_string(e.xkey.keycode) + " state " +
                 std::to_string(e.xkey.state));
        break;
      }
      std::u16string text;
      teclix::append_code_point(text, ch);
      append(g_output + ".typed", teclix::utf16_to_utf8(text));
      break;
    }
    default:
      break;
    }
  }
}

} // namespace

int main(int argc, char **argv) {
  if (argc < 3) {
    return 2;
  }
  const std::string mode = argv[1];
  g_output = argv[2];
  if (mode == "target" && argc == 6) {
    return run_target(argv[3], std::atoi(argv[4]), std::atoi(argv[5]));
  }

  std::string error;
  std::unique_ptr<teclix::x11::X11Platform> platform =
      teclix::x11::X11Platform::open(nullptr, error);
  if (!platform) {
    std::fprintf(stderr, "x11_automation_probe: %s\n", error.c_str());
    return 1;
  }
  teclix::Form1 form(*platform);
  if (mode == "click" && argc == 5) {
    const teclix::Point before = platform->cursor_position();
    log_line("pointer before " + point(before.x, before.y));
    form.Clickear(std::atoi(argv[3]), std::atoi(argv[4]));
    const teclix::Point after = platform->cursor_position();
    log_line("pointer after " + point(after.x, after.y));
    return 0;
  }
  if (mode == "rdbl" && argc == 4) {
    form.Enviar_Pulsacion(std::strtoull(argv[3], nullptr, 0));
    log_line("sent");
    return 0;
  }
  if (mode == "box" && argc == 4) {
    const auto option = static_cast<std::int16_t>(std::atoi(argv[3]));
    const std::int16_t answer = form.BoxQues(u"¿Desea continuar?", option, u"Pregunta de Teclix");
    log_line("answer " + std::to_string(answer));
    return 0;
  }
  if (mode == "fatal" && argc == 3) {
    // F10 held, then the last resort for an overflow, as the program shows it.
    platform->create_main_window(form);
    if (!platform->register_hotkey(teclix::kHotkey, 0).ok) {
      log_line("F10 not held");
      return 1;
    }
    log_line("F10 held");
    platform->show_last_resort_error(teclix::overflow_error().message());
    log_line("closed");
    return 0;
  }
  if (mode == "text" && argc == 4) {
    std::uint8_t key = 0;
    teclix::post_text(*platform, std::strtoull(argv[3], nullptr, 0), u"Año: ÑANDÚ, 5 €\r\nfin",
                      key);
    log_line("key " + std::to_string(key));
    // The keycodes lent to the text go back when the platform closes.
    platform.reset();
    log_line("done");
    return 0;
  }
  return 2;
}
