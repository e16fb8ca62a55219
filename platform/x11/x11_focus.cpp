// Where the keyboard focus is: the focused window, and the top-level window of the
// program it belongs to.
#include "platform/x11/x11_focus.h"

#include <algorithm>
#include <string>

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include "typing/unicode.h"

namespace teclix::x11 {

namespace {

// A window's title: _NET_WM_NAME in UTF-8, else WM_NAME.
std::string window_title(Display *d, Window window, const Atoms &atoms) {
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char *data = nullptr;
  std::string title;
  if (XGetWindowProperty(d, window, atoms.net_wm_name, 0, 1024, False, atoms.utf8_string, &type,
                         &format, &count, &after, &data) == Success &&
      data) {
    title.assign(reinterpret_cast<const char *>(data), count);
    XFree(data);
  }
  if (title.empty()) {
    char *name = nullptr;
    if (XFetchName(d, window, &name) && name) {
      title = name;
      XFree(name);
    }
  }
  return title;
}

} // namespace

std::optional<Window> active_window(const Connection &x) {
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char *data = nullptr;
  std::optional<Window> active;
  if (XGetWindowProperty(x.display, x.root, x.atoms.net_active_window, 0, 1, False, XA_WINDOW,
                         &type, &format, &count, &after, &data) == Success &&
      data) {
    if (type == XA_WINDOW && format == 32 && count == 1) {
      active = static_cast<Window>(*reinterpret_cast<unsigned long *>(data));
    }
    XFree(data);
  }
  return active;
}

std::optional<bool> listed_client(const Connection &x, Window window) {
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char *data = nullptr;
  std::optional<bool> listed;
  if (XGetWindowProperty(x.display, x.root, x.atoms.net_client_list, 0, 1 << 16, False, XA_WINDOW,
                         &type, &format, &count, &after, &data) == Success &&
      data) {
    if (type == XA_WINDOW && format == 32) {
      const auto *windows = reinterpret_cast<const unsigned long *>(data);
      listed = std::find(windows, windows + count, window) != windows + count;
    }
    XFree(data);
  }
  return listed;
}

Window focused_window(const Connection &x) {
  Display *d = x.display;
  const Window active = active_window(x).value_or(None);
  if (active != None && active != x.root) {
    return active;
  }
  Window focus = None;
  int revert = 0;
  XGetInputFocus(d, &focus, &revert);
  if (focus == PointerRoot || focus == x.root) {
    // Keys go to the window under the pointer, if there is one.
    Window root = None, child = None;
    int rx, ry, wx, wy;
    unsigned state;
    if (XQueryPointer(d, x.root, &root, &child, &rx, &ry, &wx, &wy, &state) && child != None) {
      return child;
    }
    return 0;
  }
  return focus == None ? 0 : focus;
}

TargetWindow top_level_of(const Connection &x, Window window) {
  Display *d = x.display;
  TargetWindow target;
  ErrorTrap trap(d);
  while (window != None && window != x.root) {
    XClassHint hint{};
    if (XGetClassHint(d, window, &hint)) {
      target.program = utf8_to_utf16(hint.res_name ? hint.res_name : "");
      target.window_class = utf8_to_utf16(hint.res_class ? hint.res_class : "");
      XFree(hint.res_name);
      XFree(hint.res_class);
      target.title = utf8_to_utf16(window_title(d, window, x.atoms));
      break;
    }
    Window root = None, parent = None, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(d, window, &root, &parent, &children, &count)) {
      break;
    }
    if (children) {
      XFree(children);
    }
    window = parent;
  }
  return target;
}

} // namespace teclix::x11
