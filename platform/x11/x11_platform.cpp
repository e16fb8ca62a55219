#include "platform/x11/x11_platform.h"
#include "platform/x11/selection_transfer.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <initializer_list>
#include <langinfo.h>
#include <poll.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include "helpers/automation.h"
#include "platform/x11/x11_dialog.h"
#include "teclix_icon_data.h"
#include "typing/unicode.h"

namespace teclix::x11 {

namespace {

using namespace std::chrono_literals;

// How long a lent keycode keeps its meaning after its last key event before it
// may be given to another character: the window that receives the keys reads
// the map again only when it gets to them, which may be later than we send.
constexpr auto kSettle = 300ms;
// How long the lent keycodes stay after a paste; another paste in that time
// reuses them without a new map change.
constexpr auto kRestoreIdle = 1s;
// The most that is added to that for a long paste.
constexpr auto kRestoreLagLimit = 30s;
// After a paste, a tap of the left Control key at these times. Some receivers
// (a terminal behind a remote console, on a busy machine) leave the last keys
// of a fast burst unread until another key comes; a lone Control key types
// nothing and brings them in.
constexpr std::chrono::milliseconds kNudgeDelays[] = {500ms, 2000ms};
// Every wait for the clipboard owner is bounded by this.
constexpr auto kClipboardWait = 1s;
// A text sent in pieces may take longer, but not for ever.
constexpr auto kTransferLimit = 10s;
// Key events sent between flushes of the connection.
constexpr std::size_t kFlushEvery = 128;

// --- X errors -------------------------------------------------------------------

// Catches the X errors of a few requests instead of reporting them.
struct ErrorTrap {
  int code = 0;
  unsigned char request = 0;
};
ErrorTrap *g_trap = nullptr;

int on_x_error(Display *display, XErrorEvent *error) {
  if (g_trap) {
    if (g_trap->code == 0) {
      g_trap->code = error->error_code;
      g_trap->request = error->request_code;
    }
    return 0;
  }
  char text[256];
  XGetErrorText(display, error->error_code, text, sizeof text);
  std::fprintf(stderr, "teclix: error de X (petición %u): %s\n", error->request_code, text);
  return 0;
}

std::string x_error_text(Display *display, int code) {
  char text[256];
  XGetErrorText(display, code, text, sizeof text);
  return text;
}

std::u16string ascii(const std::string &s) {
  return utf8_to_utf16(s);
}

// --- Windows virtual keys -------------------------------------------------------

std::optional<KeySym32> virtual_key_keysym(std::uint8_t vk) {
  if (vk >= 0x30 && vk <= 0x39) {
    return XK_0 + (vk - 0x30);
  }
  if (vk >= 0x41 && vk <= 0x5A) {
    return XK_a + (vk - 0x41);
  }
  if (vk >= 0x60 && vk <= 0x69) {
    return XK_KP_0 + (vk - 0x60);
  }
  if (vk >= 0x70 && vk <= 0x87) {
    return XK_F1 + (vk - 0x70);
  }
  switch (vk) {
  case 0x08:
    return XK_BackSpace;
  case 0x09:
    return XK_Tab;
  case 0x0D:
    return XK_Return;
  case 0x14:
    return XK_Caps_Lock;
  case 0x1B:
    return XK_Escape;
  case 0x20:
    return XK_space;
  case 0x21:
    return XK_Prior;
  case 0x22:
    return XK_Next;
  case 0x23:
    return XK_End;
  case 0x24:
    return XK_Home;
  case 0x25:
    return XK_Left;
  case 0x26:
    return XK_Up;
  case 0x27:
    return XK_Right;
  case 0x28:
    return XK_Down;
  case 0x2D:
    return XK_Insert;
  case 0x2E:
    return XK_Delete;
  case 0x5B:
    return XK_Super_L;
  case 0x6A:
    return XK_KP_Multiply;
  case 0x6B:
    return XK_KP_Add;
  case 0x6D:
    return XK_KP_Subtract;
  case 0x6E:
    return XK_KP_Decimal;
  case 0x6F:
    return XK_KP_Divide;
  case 0xA0:
    return XK_Shift_L;
  case 0xA1:
    return XK_Shift_R;
  case 0xA2:
    return XK_Control_L;
  case 0xA3:
    return XK_Control_R;
  case 0xA4:
    return XK_Alt_L;
  case 0xA5:
    return XK_ISO_Level3_Shift;
  }
  return std::nullopt;
}

// The modifier a virtual key stands for, if it is one of the typing's modifiers.
std::optional<Modifier> virtual_key_modifier(std::uint8_t vk) {
  switch (vk) {
  case 0xA0:
  case 0xA1:
    return kShift;
  case 0xA2:
  case 0xA3:
    return kControl;
  case 0xA4:
    return kAlt;
  case 0xA5:
    return kAltGr;
  case 0x5B:
    return kSuper;
  }
  return std::nullopt;
}

// The modifier bits each of the typing's modifiers sets in an X state.
unsigned modifier_mask(Display *display, Modifier m, unsigned level3_mask) {
  switch (m) {
  case kShift:
    return ShiftMask;
  case kControl:
    return ControlMask;
  case kAlt:
    return XkbKeysymToModifiers(display, XK_Alt_L) | XkbKeysymToModifiers(display, XK_Meta_L);
  case kAltGr:
    return level3_mask | XkbKeysymToModifiers(display, XK_Mode_switch);
  case kSuper:
    return XkbKeysymToModifiers(display, XK_Super_L) | XkbKeysymToModifiers(display, XK_Super_R);
  }
  return 0;
}

// The Modifier bits (Shift, AltGr) that select a level of a key type, or kUnreachable.
unsigned level_modifiers(XkbKeyTypePtr type, int level, unsigned level3_mask) {
  if (level == 0) {
    return 0;
  }
  unsigned best = kUnreachable;
  for (int i = 0; i < type->map_count; ++i) {
    const XkbKTMapEntryRec &entry = type->map[i];
    if (!entry.active || entry.level != level) {
      continue;
    }
    const unsigned mask = entry.mods.mask;
    if (mask == 0 || (mask & ~(ShiftMask | level3_mask)) != 0) {
      continue;
    }
    const unsigned bits = ((mask & ShiftMask) ? unsigned{kShift} : 0u) |
                          ((mask & level3_mask) ? unsigned{kAltGr} : 0u);
    if (best == kUnreachable || __builtin_popcount(bits) < __builtin_popcount(best)) {
      best = bits;
    }
  }
  return best;
}

// --- Text for the window ---------------------------------------------------------

int text_width(Display *display, XftFont *font, const std::string &s) {
  XGlyphInfo extents{};
  XftTextExtentsUtf8(display, font, reinterpret_cast<const FcChar8 *>(s.data()),
                     static_cast<int>(s.size()), &extents);
  return extents.xOff;
}

// The first of the fonts that opens, at the screen's DPI.
XftFont *open_font(Display *display, int screen, double dpi,
                   std::initializer_list<const char *> names) {
  for (const char *name : names) {
    const std::string pattern = std::string(name) + ":dpi=" + std::to_string(dpi);
    if (XftFont *font = XftFontOpenName(display, screen, pattern.c_str())) {
      return font;
    }
  }
  return nullptr;
}

// WM_NAME in the most portable encoding that holds the title, and _NET_WM_NAME in UTF-8.
void set_title(Display *display, Window window, Atom net_wm_name, Atom utf8,
               const std::string &title) {
  char *list[] = {const_cast<char *>(title.c_str())};
  XTextProperty property{};
  if (Xutf8TextListToTextProperty(display, list, 1, XStdICCTextStyle, &property) >= Success) {
    XSetWMName(display, window, &property);
    XFree(property.value);
  }
  XChangeProperty(display, window, net_wm_name, utf8, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char *>(title.data()),
                  static_cast<int>(title.size()));
}

// --- Event predicates ------------------------------------------------------------

struct SelectionWait {
  Window requestor;
  Atom selection;
  Atom property;
};

Bool is_selection_notify(Display *, XEvent *e, XPointer arg) {
  const auto *w = reinterpret_cast<const SelectionWait *>(arg);
  return e->type == SelectionNotify && e->xselection.requestor == w->requestor &&
         e->xselection.selection == w->selection;
}

Bool is_new_property(Display *, XEvent *e, XPointer arg) {
  const auto *w = reinterpret_cast<const SelectionWait *>(arg);
  return e->type == PropertyNotify && e->xproperty.window == w->requestor &&
         e->xproperty.atom == w->property && e->xproperty.state == PropertyNewValue;
}

Bool is_hotkey_press(Display *, XEvent *e, XPointer arg) {
  const unsigned keycode = *reinterpret_cast<const unsigned *>(arg);
  return e->type == KeyPress && e->xkey.keycode == keycode;
}

} // namespace

// --- The keyboard map -------------------------------------------------------------

Keymap read_keymap(Display *display, std::optional<int> group) {
  Keymap map;
  XkbDescPtr xkb =
      XkbGetMap(display, XkbKeyTypesMask | XkbKeySymsMask | XkbModifierMapMask, XkbUseCoreKbd);
  if (!xkb) {
    return map;
  }
  if (!group) {
    XkbStateRec state{};
    XkbGetState(display, XkbUseCoreKbd, &state);
    group = state.group;
  }
  unsigned level3 = XkbKeysymToModifiers(display, XK_ISO_Level3_Shift);
  if (level3 == 0) {
    level3 = Mod5Mask;
  }
  map.min_keycode = xkb->min_key_code;
  map.max_keycode = xkb->max_key_code;
  for (unsigned kc = xkb->min_key_code; kc <= xkb->max_key_code; ++kc) {
    const int groups = XkbKeyNumGroups(xkb, kc);
    bool any = false;
    for (int i = 0; i < XkbKeyNumSyms(xkb, kc); ++i) {
      any = any || XkbKeySymsPtr(xkb, kc)[i] != NoSymbol;
    }
    if (!any) {
      if (xkb->map->modmap[kc] == 0) {
        map.unused.push_back(kc);
      }
      continue;
    }
    bool vendor_only = xkb->map->modmap[kc] == 0;
    for (int i = 0; vendor_only && i < XkbKeyNumSyms(xkb, kc); ++i) {
      const KeySym sym = XkbKeySymsPtr(xkb, kc)[i];
      vendor_only = sym == NoSymbol || is_vendor_keysym(static_cast<KeySym32>(sym));
    }
    if (vendor_only) {
      map.borrowable.push_back(kc);
    }
    int g = *group;
    if (g >= groups) {
      const unsigned char info = XkbKeyGroupInfo(xkb, kc);
      switch (XkbOutOfRangeGroupAction(info)) {
      case XkbRedirectIntoRange:
        g = XkbOutOfRangeGroupNumber(info);
        break;
      case XkbClampIntoRange:
        g = groups - 1;
        break;
      default:
        g %= groups;
        break;
      }
      if (g >= groups) {
        g = 0;
      }
    }
    XkbKeyTypePtr type = XkbKeyKeyType(xkb, kc, g);
    MapKey key;
    key.keycode = kc;
    for (int level = 0; level < type->num_levels; ++level) {
      const KeySym sym = XkbKeySymEntry(xkb, kc, level, g);
      key.levels.push_back(
          KeyLevel{static_cast<KeySym32>(sym), level_modifiers(type, level, level3)});
    }
    map.keys.push_back(std::move(key));
  }
  XkbFreeKeyboard(xkb, 0, True);
  return map;
}

// --- Connection ---------------------------------------------------------------------

std::unique_ptr<X11Platform> X11Platform::open(const char *display_name, std::string &error) {
  Display *display = XOpenDisplay(display_name);
  if (!display) {
    error = std::string("no se pudo conectar con el servidor X \"") + XDisplayName(display_name) +
            "\" (XOpenDisplay falló; ¿está definida DISPLAY?)";
    return nullptr;
  }
  int opcode = 0, event = 0, err = 0, major = 0, minor = 0;
  if (!XTestQueryExtension(display, &event, &err, &major, &minor)) {
    error = std::string("el servidor X \"") + XDisplayName(display_name) +
            "\" no tiene la extensión XTEST, necesaria para teclear";
    XCloseDisplay(display);
    return nullptr;
  }
  major = XkbMajorVersion;
  minor = XkbMinorVersion;
  if (!XkbQueryExtension(display, &opcode, &event, &err, &major, &minor)) {
    error = std::string("el servidor X \"") + XDisplayName(display_name) +
            "\" no tiene la extensión XKEYBOARD, necesaria para leer el teclado";
    XCloseDisplay(display);
    return nullptr;
  }
  return std::unique_ptr<X11Platform>(new X11Platform(display));
}

X11Platform::X11Platform(Display *display)
    : display_(display), root_(DefaultRootWindow(display)), screen_(DefaultScreen(display)) {
  XSetErrorHandler(on_x_error);
  // Programs started from here (the browser) must not inherit the connection.
  fcntl(ConnectionNumber(display_), F_SETFD, FD_CLOEXEC);
  clipboard_ = XInternAtom(display_, "CLIPBOARD", False);
  utf8_string_ = XInternAtom(display_, "UTF8_STRING", False);
  incr_ = XInternAtom(display_, "INCR", False);
  targets_ = XInternAtom(display_, "TARGETS", False);
  selection_property_ = XInternAtom(display_, "TECLIX_SELECTION", False);
  wm_protocols_ = XInternAtom(display_, "WM_PROTOCOLS", False);
  wm_delete_window_ = XInternAtom(display_, "WM_DELETE_WINDOW", False);
  net_active_window_ = XInternAtom(display_, "_NET_ACTIVE_WINDOW", False);
  net_wm_name_ = XInternAtom(display_, "_NET_WM_NAME", False);
  net_wm_icon_ = XInternAtom(display_, "_NET_WM_ICON", False);
  timestamp_property_ = XInternAtom(display_, "TECLIX_TIMESTAMP", False);

  XSetWindowAttributes attributes{};
  attributes.event_mask = PropertyChangeMask;
  requestor_ = XCreateWindow(display_, root_, -10, -10, 1, 1, 0, CopyFromParent, InputOnly,
                             CopyFromParent, CWEventMask, &attributes);
  // Sizes and fonts follow the DPI the desktop asks for (Xft.dpi), 96 by default.
  dpi_ = dpi_from_resource(XGetDefault(display_, "Xft", "dpi"));
  layout_ = main_layout(dpi_);
  font_ = open_font(display_, screen_, dpi_,
                    {"Liberation Serif:bold:size=9.75", "serif:bold:size=9.75", "sans:size=9.75"});
  link_font_ =
      open_font(display_, screen_, dpi_,
                {"Liberation Serif:bold:size=20.25", "serif:bold:size=20.25", "sans:size=20.25"});
  ink_ready_ = XftColorAllocName(display_, DefaultVisual(display_, screen_),
                                 DefaultColormap(display_, screen_), "black", &ink_);
  level3_mask_ = XkbKeysymToModifiers(display_, XK_ISO_Level3_Shift);
  if (level3_mask_ == 0) {
    level3_mask_ = Mod5Mask;
  }
}

X11Platform::~X11Platform() {
  restore_keymap();
  if (hotkey_grabbed_) {
    unregister_hotkey(window_, 0);
  }
  if (draw_) {
    XftDrawDestroy(draw_);
  }
  if (window_ != None) {
    XDestroyWindow(display_, window_);
  }
  XDestroyWindow(display_, requestor_);
  Visual *visual = DefaultVisual(display_, screen_);
  Colormap colormap = DefaultColormap(display_, screen_);
  if (ink_ready_) {
    XftColorFree(display_, visual, colormap, &ink_);
  }
  if (link_ink_ready_) {
    XftColorFree(display_, visual, colormap, &link_ink_);
  }
  for (XftFont *font : {font_, link_font_}) {
    if (font) {
      XftFontClose(display_, font);
    }
  }
  XCloseDisplay(display_);
}

// --- The main window -------------------------------------------------------------------

WindowHandle X11Platform::create_main_window(WindowEvents &events) {
  events_ = &events;
  // A small fixed utility window in the middle of the screen, on the desktop's
  // window colour (white).
  const int width = layout_.width, height = layout_.height;
  const int x = std::max(0, (DisplayWidth(display_, screen_) - width) / 2);
  const int y = std::max(0, (DisplayHeight(display_, screen_) - height) / 2);
  XSetWindowAttributes a{};
  a.background_pixel = WhitePixel(display_, screen_);
  a.event_mask = ExposureMask | StructureNotifyMask | PointerMotionMask | EnterWindowMask |
                 ButtonPressMask | ButtonReleaseMask;
  a.cursor = XCreateFontCursor(display_, XC_left_ptr);
  window_ = XCreateWindow(display_, root_, x, y, static_cast<unsigned>(width),
                          static_cast<unsigned>(height), 0, CopyFromParent, InputOutput,
                          CopyFromParent, CWBackPixel | CWEventMask | CWCursor, &a);
  XFreeCursor(display_, a.cursor);
  set_title(display_, window_, net_wm_name_, utf8_string_, "Teclix");
  XSetWMProtocols(display_, window_, &wm_delete_window_, 1);
  set_fixed_window_hints(display_, window_, x, y, width, height);
  const std::vector<unsigned long> icon = net_wm_icon(
      std::span<const unsigned char>(kIconRgba, sizeof kIconRgba), kIconWidth, kIconHeight);
  XChangeProperty(display_, window_, net_wm_icon_, XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char *>(icon.data()),
                  static_cast<int>(icon.size()));

  // The link shows a hand: an input-only window over it carries that pointer and
  // lets every event through to the main window.
  XSetWindowAttributes over{};
  over.cursor = XCreateFontCursor(display_, XC_hand2);
  link_cursor_window_ = XCreateWindow(display_, window_, layout_.link_x, layout_.link_y, 1, 1, 0,
                                      CopyFromParent, InputOnly, CopyFromParent, CWCursor, &over);
  XFreeCursor(display_, over.cursor);

  draw_ = XftDrawCreate(display_, window_, DefaultVisual(display_, screen_),
                        DefaultColormap(display_, screen_));
  return window_;
}

void X11Platform::show_window(WindowHandle window) {
  XMapRaised(display_, static_cast<Window>(window));
  XFlush(display_);
}

void X11Platform::set_caption(WindowHandle window, const std::u16string &text) {
  if (window == 0) {
    return;
  }
  set_title(display_, static_cast<Window>(window), net_wm_name_, utf8_string_, utf16_to_utf8(text));
  XFlush(display_);
}

void X11Platform::set_instruction(WindowHandle, const std::u16string &text) {
  instruction_ = utf16_to_utf8(text);
  layout_instruction();
  draw_main_window();
}

void X11Platform::set_link(WindowHandle, const std::u16string &text) {
  link_ = utf16_to_utf8(text);
  layout_link();
  draw_main_window();
}

void X11Platform::set_link_color(WindowHandle, std::uint32_t color) {
  // 0x00BBGGRR, as the core keeps colours.
  const XRenderColor value{static_cast<unsigned short>((color & 0xFF) * 257),
                           static_cast<unsigned short>(((color >> 8) & 0xFF) * 257),
                           static_cast<unsigned short>(((color >> 16) & 0xFF) * 257), 0xFFFF};
  Visual *visual = DefaultVisual(display_, screen_);
  Colormap colormap = DefaultColormap(display_, screen_);
  if (link_ink_ready_) {
    XftColorFree(display_, visual, colormap, &link_ink_);
  }
  link_ink_ready_ = XftColorAllocValue(display_, visual, colormap, &value, &link_ink_);
  draw_link();
}

void X11Platform::layout_instruction() {
  if (!font_) {
    return;
  }
  lines_ = wrap_text(instruction_, layout_.instruction.width,
                     [this](const std::string &s) { return text_width(display_, font_, s); });
}

// The link label sizes itself to its text and keeps its top-left corner.
void X11Platform::layout_link() {
  if (!link_font_ || window_ == None) {
    return;
  }
  link_rect_ = Rect{layout_.link_x, layout_.link_y, text_width(display_, link_font_, link_),
                    link_font_->ascent + link_font_->descent};
  if (link_rect_.width > 0) {
    XMoveResizeWindow(display_, link_cursor_window_, link_rect_.x, link_rect_.y,
                      static_cast<unsigned>(link_rect_.width),
                      static_cast<unsigned>(link_rect_.height));
    XMapWindow(display_, link_cursor_window_);
  } else {
    XUnmapWindow(display_, link_cursor_window_);
  }
}

void X11Platform::draw_main_window() {
  if (!draw_ || window_ == None) {
    return;
  }
  XClearWindow(display_, window_);
  if (font_ && ink_ready_) {
    // The instruction label: left and top aligned, cut at the label's edges.
    const Rect &r = layout_.instruction;
    XRectangle clip{static_cast<short>(r.x), static_cast<short>(r.y),
                    static_cast<unsigned short>(r.width), static_cast<unsigned short>(r.height)};
    XftDrawSetClipRectangles(draw_, 0, 0, &clip, 1);
    int y = r.y + font_->ascent;
    for (const std::string &line : lines_) {
      XftDrawStringUtf8(draw_, &ink_, font_, r.x, y, reinterpret_cast<const FcChar8 *>(line.data()),
                        static_cast<int>(line.size()));
      y += font_->ascent + font_->descent;
    }
    XftDrawSetClip(draw_, nullptr);
  }
  draw_link();
}

// Paints the link label alone: a colour change repaints nothing else.
void X11Platform::draw_link() {
  if (!draw_ || window_ == None || !link_font_ || !link_ink_ready_ || link_rect_.width <= 0) {
    return;
  }
  XClearArea(display_, window_, link_rect_.x, link_rect_.y, static_cast<unsigned>(link_rect_.width),
             static_cast<unsigned>(link_rect_.height), False);
  XftDrawStringUtf8(draw_, &link_ink_, link_font_, link_rect_.x, link_rect_.y + link_font_->ascent,
                    reinterpret_cast<const FcChar8 *>(link_.data()),
                    static_cast<int>(link_.size()));
  XFlush(display_);
}

// A pointer move in the window: over the link or the background. The instruction
// label takes the moves over it for itself, and they go no further.
void X11Platform::on_pointer(int x, int y) {
  if (!events_) {
    return;
  }
  switch (pointer_area(layout_, link_rect_, x, y)) {
  case PointerArea::kLink:
    events_->on_link_mouse_move();
    break;
  case PointerArea::kBackground:
    events_->on_background_mouse_move();
    break;
  case PointerArea::kInstruction:
  case PointerArea::kOutside:
    break;
  }
}

// A click on the link is a press and a release of the first button, both on it.
void X11Platform::on_button(const XButtonEvent &e) {
  if (e.button != Button1) {
    return;
  }
  const bool on_link = pointer_area(layout_, link_rect_, e.x, e.y) == PointerArea::kLink;
  if (e.type == ButtonPress) {
    link_pressed_ = on_link;
    return;
  }
  const bool click = link_pressed_ && on_link;
  link_pressed_ = false;
  if (click && events_) {
    events_->on_link_click();
  }
}

void X11Platform::open_address(WindowHandle, const std::u16string &address) {
  // xdg-open hands the address to the user's browser. It runs in a grandchild, so
  // that it is nobody's zombie and the window never waits for the browser; a
  // failure stays silent.
  const std::string url = utf16_to_utf8(address);
  const char *argv[] = {"xdg-open", url.c_str(), nullptr};
  const pid_t child = fork();
  if (child == 0) {
    if (fork() == 0) {
      const int null = ::open("/dev/null", O_RDWR);
      if (null >= 0) {
        dup2(null, STDIN_FILENO);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        if (null > STDERR_FILENO) {
          close(null);
        }
      }
      setsid();
      execvp(argv[0], const_cast<char *const *>(argv));
      _exit(127);
    }
    _exit(0);
  }
  if (child > 0) {
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
}

int X11Platform::message_box(const std::u16string &prompt, const std::u16string &title, int style) {
  Window focus = None;
  int revert = 0;
  XGetInputFocus(display_, &focus, &revert);
  DialogSetup setup;
  setup.display = display_;
  setup.screen = screen_;
  setup.owner = window_;
  setup.dpi = dpi_;
  setup.owner_event = [this](const XEvent &e) {
    // The window under the box repaints but takes no input until the box closes.
    if (e.type == Expose && e.xexpose.count == 0) {
      draw_main_window();
    }
  };
  const int result = run_message_box(setup, utf16_to_utf8(prompt), utf16_to_utf8(title), style);
  // The keyboard goes back where it was, if that window is still there.
  if (focus != None && focus != PointerRoot) {
    XSync(display_, False);
    ErrorTrap trap;
    g_trap = &trap;
    XSetInputFocus(display_, focus, revert, CurrentTime);
    XSync(display_, False);
    g_trap = nullptr;
  }
  return result;
}

// --- Hotkey and loop -------------------------------------------------------------------

CallResult X11Platform::register_hotkey(WindowHandle, int, unsigned modifiers,
                                        unsigned virtual_key) {
  const std::optional<KeySym32> sym = virtual_key_keysym(static_cast<std::uint8_t>(virtual_key));
  hotkey_keycode_ = sym ? XKeysymToKeycode(display_, *sym) : 0;
  if (hotkey_keycode_ == 0) {
    return CallResult{false, u"XKeysymToKeycode: ninguna tecla del teclado produce esa tecla"};
  }
  // The standard hotkey modifier bits: Alt, Control, Shift, Windows key.
  unsigned mods = 0;
  mods |= (modifiers & 1) ? Mod1Mask : 0;
  mods |= (modifiers & 2) ? ControlMask : 0;
  mods |= (modifiers & 4) ? ShiftMask : 0;
  mods |= (modifiers & 8) ? Mod4Mask : 0;
  hotkey_modifiers_ = mods;
  unsigned num_lock = XkbKeysymToModifiers(display_, XK_Num_Lock);
  if (num_lock == 0) {
    num_lock = Mod2Mask;
  }
  // Caps Lock and NumLock are part of the X key state: grab every combination
  // so that the key works whatever their state.
  const unsigned extras[] = {0, LockMask, num_lock, LockMask | num_lock};

  XSync(display_, False);
  ErrorTrap trap;
  g_trap = &trap;
  for (unsigned extra : extras) {
    XGrabKey(display_, static_cast<int>(hotkey_keycode_), mods | extra, root_, True, GrabModeAsync,
             GrabModeAsync);
  }
  XSync(display_, False);
  if (trap.code != 0) {
    for (unsigned extra : extras) {
      XUngrabKey(display_, static_cast<int>(hotkey_keycode_), mods | extra, root_);
    }
    XSync(display_, False);
  }
  g_trap = nullptr;
  if (trap.code != 0) {
    const std::string reason = "XGrabKey: " + x_error_text(display_, trap.code);
    std::fprintf(stderr,
                 "teclix: la tecla F10 está ocupada por otro programa; Teclix no puede pegar "
                 "con ella (%s)\n",
                 reason.c_str());
    return CallResult{false, ascii(reason)};
  }
  hotkey_grabbed_ = true;
  return CallResult{};
}

void X11Platform::unregister_hotkey(WindowHandle, int) {
  if (!hotkey_grabbed_) {
    return;
  }
  unsigned num_lock = XkbKeysymToModifiers(display_, XK_Num_Lock);
  if (num_lock == 0) {
    num_lock = Mod2Mask;
  }
  for (unsigned extra : {0u, unsigned{LockMask}, num_lock, LockMask | num_lock}) {
    XUngrabKey(display_, static_cast<int>(hotkey_keycode_), hotkey_modifiers_ | extra, root_);
  }
  XFlush(display_);
  hotkey_grabbed_ = false;
}

bool X11Platform::wait_readable(Clock::time_point deadline) {
  XFlush(display_);
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  if (left <= 0) {
    return false;
  }
  pollfd fd{ConnectionNumber(display_), POLLIN, 0};
  const int n = poll(&fd, 1, static_cast<int>(std::min<long long>(left, INT_MAX)));
  return n > 0;
}

void X11Platform::wait_message() {
  while (XPending(display_) == 0) {
    int timeout = -1;
    if (nudge_after_) {
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(*nudge_after_ - Clock::now()).count();
      if (left <= 0) {
        nudge();
        continue;
      }
      timeout = static_cast<int>(left);
    }
    if (restore_after_) {
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(*restore_after_ - Clock::now()).count();
      if (left <= 0) {
        restore_keymap();
        continue;
      }
      timeout = timeout < 0 ? static_cast<int>(left) : std::min(timeout, static_cast<int>(left));
    }
    pollfd fd{ConnectionNumber(display_), POLLIN, 0};
    if (poll(&fd, 1, timeout) < 0 && errno != EINTR) {
      std::fprintf(stderr, "teclix: poll en la conexión X: %s\n", std::strerror(errno));
      return;
    }
  }
}

bool X11Platform::peek_hotkey(WindowHandle) {
  if (!hotkey_grabbed_) {
    return false;
  }
  XEvent e;
  unsigned keycode = hotkey_keycode_;
  if (!XCheckIfEvent(display_, &e, is_hotkey_press, reinterpret_cast<XPointer>(&keycode))) {
    return false;
  }
  // The press started a keyboard grab that lasts until F10 is released; end it
  // now, or the keys about to be typed would come back to this program.
  XUngrabKeyboard(display_, CurrentTime);
  XFlush(display_);
  return true;
}

void X11Platform::pump_events() {
  // The events queued now, and no more: an F10 press that comes in while they
  // are handled (a redraw can take a while) waits for the next pass of the loop.
  for (int queued = XEventsQueued(display_, QueuedAfterReading); queued > 0; --queued) {
    XEvent e;
    XNextEvent(display_, &e);
    switch (e.type) {
    case Expose:
      if (e.xexpose.window == window_ && e.xexpose.count == 0) {
        draw_main_window();
      }
      break;
    case MotionNotify:
      if (e.xmotion.window == window_ && window_ != None) {
        on_pointer(e.xmotion.x, e.xmotion.y);
      }
      break;
    case EnterNotify:
      // Coming in from outside counts as a move to where the pointer is now.
      if (e.xcrossing.window == window_ && window_ != None && e.xcrossing.mode == NotifyNormal) {
        on_pointer(e.xcrossing.x, e.xcrossing.y);
      }
      break;
    case ButtonPress:
    case ButtonRelease:
      if (e.xbutton.window == window_ && window_ != None) {
        on_button(e.xbutton);
      }
      break;
    case MappingNotify:
      XRefreshKeyboardMapping(&e.xmapping);
      keymap_valid_ = false;
      break;
    case ClientMessage:
      if (e.xclient.window == window_ && window_ != None &&
          e.xclient.message_type == wm_protocols_ &&
          static_cast<Atom>(e.xclient.data.l[0]) == wm_delete_window_) {
        if (events_) {
          events_->on_close();
        }
        if (draw_) {
          XftDrawDestroy(draw_);
          draw_ = nullptr;
        }
        XDestroyWindow(display_, window_);
        window_ = None;
        link_cursor_window_ = None; // went with its parent
        XFlush(display_);
      }
      break;
    default:
      // F10 presses that came in during a paste, and releases, do nothing.
      break;
    }
  }
}

// --- What a paste reads ----------------------------------------------------------------

WindowHandle X11Platform::focused_control() {
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char *data = nullptr;
  Window active = None;
  if (XGetWindowProperty(display_, root_, net_active_window_, 0, 1, False, XA_WINDOW, &type,
                         &format, &count, &after, &data) == Success &&
      data) {
    if (type == XA_WINDOW && format == 32 && count == 1) {
      active = static_cast<Window>(*reinterpret_cast<unsigned long *>(data));
    }
    XFree(data);
  }
  if (active != None && active != root_) {
    return active;
  }
  Window focus = None;
  int revert = 0;
  XGetInputFocus(display_, &focus, &revert);
  if (focus == PointerRoot || focus == root_) {
    // Keys go to the window under the pointer, if there is one.
    Window root = None, child = None;
    int rx, ry, wx, wy;
    unsigned state;
    if (XQueryPointer(display_, root_, &root, &child, &rx, &ry, &wx, &wy, &state) &&
        child != None) {
      return child;
    }
    return 0;
  }
  return focus == None ? 0 : focus;
}

std::optional<std::u16string> X11Platform::clipboard_text() {
  if (XGetSelectionOwner(display_, clipboard_) == None) {
    return std::nullopt;
  }
  SelectionWait wait{requestor_, clipboard_, selection_property_};
  for (Atom target : {utf8_string_, Atom{XA_STRING}}) {
    XDeleteProperty(display_, requestor_, selection_property_);
    XConvertSelection(display_, clipboard_, target, selection_property_, requestor_, CurrentTime);
    XEvent e;
    if (!wait_for_event(is_selection_notify, reinterpret_cast<XPointer>(&wait),
                        Clock::now() + kClipboardWait, e)) {
      return std::nullopt; // the owner does not answer
    }
    if (e.xselection.property == None) {
      continue; // no text in this form
    }
    const SelectionEncoding encoding =
        target == utf8_string_ ? SelectionEncoding::kUtf8 : SelectionEncoding::kLatin1;
    SelectionTransfer transfer(encoding);
    // Reads the property and deletes it, which asks an INCR owner for the next piece.
    auto take_property = [&](Atom &type, int &format, std::string &bytes) {
      unsigned long count = 0, after = 0;
      unsigned char *data = nullptr;
      if (XGetWindowProperty(display_, requestor_, selection_property_, 0, LONG_MAX / 4, True,
                             AnyPropertyType, &type, &format, &count, &after, &data) != Success) {
        return false;
      }
      bytes.clear();
      if (data) {
        // Xlib gives 32-bit items as longs; only 8-bit items are text anyway.
        const std::size_t item = format == 8 ? 1 : format == 16 ? sizeof(short) : sizeof(long);
        bytes.assign(reinterpret_cast<const char *>(data), count * item);
        XFree(data);
      }
      return true;
    };
    Atom type = None;
    int format = 0;
    std::string bytes;
    if (!take_property(type, format, bytes)) {
      continue;
    }
    if (type == incr_) {
      transfer.start(true, format, bytes);
      const Clock::time_point give_up = Clock::now() + kTransferLimit;
      while (transfer.state() == SelectionTransfer::State::kReceiving) {
        const Clock::time_point deadline = std::min(give_up, Clock::now() + kClipboardWait);
        if (!wait_for_event(is_new_property, reinterpret_cast<XPointer>(&wait), deadline, e) ||
            !take_property(type, format, bytes)) {
          return std::nullopt; // the owner stopped answering
        }
        transfer.add_piece(format, bytes);
      }
    } else {
      if (type != utf8_string_ && type != XA_STRING) {
        continue;
      }
      transfer.start(false, format, bytes);
    }
    if (transfer.state() != SelectionTransfer::State::kDone) {
      return std::nullopt;
    }
    return transfer.text();
  }
  return std::nullopt;
}

bool X11Platform::wait_for_event(Bool (*predicate)(Display *, XEvent *, XPointer), XPointer arg,
                                 Clock::time_point deadline, XEvent &out) {
  while (true) {
    if (XCheckIfEvent(display_, &out, predicate, arg)) {
      return true;
    }
    if (Clock::now() >= deadline) {
      return false;
    }
    wait_readable(deadline);
  }
}

NumberFormat X11Platform::number_format() {
  const lconv *conv = std::localeconv();
  const bool utf8 = std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
  auto convert = [utf8](const char *s) {
    if (utf8) {
      return utf8_to_utf16(s);
    }
    std::u16string out;
    for (const char *p = s; *p; ++p) {
      out += static_cast<char16_t>(static_cast<unsigned char>(*p));
    }
    return out;
  };
  NumberFormat format;
  format.decimal = convert(conv->decimal_point);
  format.grouping = convert(conv->thousands_sep);
  format.negative = u"-";
  if (format.decimal.empty()) {
    format.decimal = u".";
  }
  return format;
}

// --- Keyboard output ----------------------------------------------------------------------

// Whether another client has a passive grab on the key: our own grab of it,
// with any modifiers, then fails.
bool X11Platform::grabbed_by_others(std::uint32_t keycode) {
  XSync(display_, False);
  ErrorTrap trap;
  g_trap = &trap;
  XGrabKey(display_, static_cast<int>(keycode), AnyModifier, root_, True, GrabModeAsync,
           GrabModeAsync);
  XSync(display_, False);
  g_trap = nullptr;
  if (trap.code != 0) {
    return true;
  }
  XUngrabKey(display_, static_cast<int>(keycode), AnyModifier, root_);
  return false;
}

// The vendor keys that may be lent: those no other client has grabbed (a grab
// would take the keys typed with them away from the focused window). Their
// keysyms are kept, to be given back.
std::vector<std::uint32_t> X11Platform::borrowable_keys(const Keymap &map) {
  borrowed_originals_.clear();
  borrowed_per_keycode_ = 0;
  std::vector<std::uint32_t> keys;
  for (std::uint32_t kc : map.borrowable) {
    if (kc <= 8 || kc > 255 || kc == hotkey_keycode_) {
      continue;
    }
    if (!grabbed_by_others(kc)) {
      keys.push_back(kc);
    }
  }
  if (keys.empty()) {
    return keys;
  }
  const auto [low, high] = std::minmax_element(keys.begin(), keys.end());
  int per = 0;
  KeySym *syms = XGetKeyboardMapping(display_, static_cast<KeyCode>(*low), *high - *low + 1, &per);
  if (!syms || per <= 0) {
    if (syms) {
      XFree(syms);
    }
    return {};
  }
  borrowed_per_keycode_ = per;
  for (std::uint32_t kc : keys) {
    const KeySym *first = syms + static_cast<std::ptrdiff_t>(kc - *low) * per;
    borrowed_originals_[kc] = std::vector<KeySym>(first, first + per);
  }
  XFree(syms);
  return keys;
}

void X11Platform::refresh_keymap() {
  Keymap map = read_keymap(display_);
  if (pool_) {
    // Keycodes lent earlier show in the map with our keysyms. If the map was
    // replaced since (another layout), they are gone and so is the pool.
    bool intact = true;
    for (const SparePool::Change &slot : pool_->slots()) {
      const auto key = std::find_if(map.keys.begin(), map.keys.end(),
                                    [&](const MapKey &k) { return k.keycode == slot.keycode; });
      if (slot.keysym == kNoSymbol) {
        const std::vector<std::uint32_t> &free =
            pool_->is_borrowed(slot.keycode) ? map.borrowable : map.unused;
        intact = intact && std::find(free.begin(), free.end(), slot.keycode) != free.end();
      } else {
        intact = intact && key != map.keys.end() && !key->levels.empty() &&
                 key->levels[0].keysym == slot.keysym;
      }
    }
    if (!intact) {
      pool_.reset();
    }
  }
  if (!pool_) {
    std::vector<std::uint32_t> spare;
    for (std::uint32_t kc : map.unused) {
      // Keycode 8 is skipped: some programs take it for "no key".
      if (kc > 8 && kc <= 255) {
        spare.push_back(kc);
      }
    }
    pool_.emplace(std::move(spare), borrowable_keys(map));
  }
  std::erase_if(map.keys, [this](const MapKey &k) { return pool_->contains(k.keycode); });
  keymap_ = std::move(map);
  key_index_ = KeyIndex(keymap_);
  keymap_valid_ = true;
}

void X11Platform::ensure_keymap() {
  if (!keymap_valid_ || !pool_) {
    refresh_keymap();
  }
}

void X11Platform::bind(const std::vector<KeySym32> &keysyms) {
  ensure_keymap();
  const std::vector<SparePool::Change> before = pool_->slots();
  const std::vector<SparePool::Change> changes = pool_->bind(keysyms);
  if (changes.empty()) {
    return;
  }
  // A keycode that changes meaning must not do so while keys typed with its old
  // meaning may still be waiting in the receiving window's queue.
  Clock::time_point wait_until{};
  for (const SparePool::Change &c : changes) {
    const bool was_bound = std::any_of(before.begin(), before.end(), [&](const auto &s) {
      return s.keycode == c.keycode && s.keysym != kNoSymbol;
    });
    if (was_bound) {
      wait_until = std::max(wait_until, last_sent_[c.keycode] + kSettle);
    }
  }
  XSync(display_, False);
  if (wait_until > Clock::now()) {
    std::this_thread::sleep_until(wait_until);
  }
  for (const auto &run : contiguous_runs(changes)) {
    std::vector<KeySym> syms;
    for (const SparePool::Change &c : run) {
      syms.push_back(c.keysym);
      syms.push_back(c.keysym);
    }
    XChangeKeyboardMapping(display_, static_cast<int>(run.front().keycode), 2, syms.data(),
                           static_cast<int>(run.size()));
  }
  XSync(display_, False);
}

void X11Platform::restore_keymap() {
  restore_after_.reset();
  if (!pool_ || !pool_->any_bound()) {
    return;
  }
  Clock::time_point wait_until{};
  for (const SparePool::Change &slot : pool_->slots()) {
    if (slot.keysym != kNoSymbol) {
      wait_until = std::max(wait_until, last_sent_[slot.keycode] + kSettle);
    }
  }
  XSync(display_, False);
  if (wait_until > Clock::now()) {
    std::this_thread::sleep_until(wait_until);
  }
  // Only give back what is still ours: a new layout may have replaced the map.
  refresh_keymap();
  if (!pool_ || !pool_->any_bound()) {
    return;
  }
  const std::vector<SparePool::Change> changes = pool_->release_all();
  for (const auto &run : contiguous_runs(changes)) {
    // A borrowed key gets its own keysyms back; a spare one none.
    const int per = std::max(2, borrowed_per_keycode_);
    std::vector<KeySym> syms(run.size() * static_cast<std::size_t>(per), NoSymbol);
    for (std::size_t i = 0; i < run.size(); ++i) {
      const auto original = borrowed_originals_.find(run[i].keycode);
      if (original != borrowed_originals_.end()) {
        std::copy(original->second.begin(), original->second.end(),
                  syms.begin() + static_cast<std::ptrdiff_t>(i * static_cast<std::size_t>(per)));
      }
    }
    XChangeKeyboardMapping(display_, static_cast<int>(run.front().keycode), per, syms.data(),
                           static_cast<int>(run.size()));
  }
  XSync(display_, False);
  keymap_valid_ = false;
}

void X11Platform::begin_typing(std::u16string_view text) {
  typing_ = true;
  typing_started_ = Clock::now();
  events_at_start_ = events_sent_;
  nudge_after_.reset();
  nudges_left_ = 0;
  restore_after_.reset();
  refresh_keymap();
  // Characters that no live key of the layout types get spare keycodes, all
  // at once where they fit: every map change makes every client reload its map.
  needed_.clear();
  needed_cursor_ = 0;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const char32_t ch = next_code_point(text, pos);
    if (ch < 0x20 || ch == 0x7F) {
      continue;
    }
    const std::optional<KeyChoice> choice = key_index_.find(ch);
    if (!choice || choice->dead) {
      needed_.push_back(char_to_keysym(ch));
    }
  }
  std::vector<KeySym32> distinct = needed_;
  std::sort(distinct.begin(), distinct.end());
  distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
  if (distinct.size() > pool_->size() - pool_->free_borrowed().size()) {
    // Borrowed keys may be needed: leave out any that a program grabbed since.
    for (std::uint32_t kc : pool_->free_borrowed()) {
      if (grabbed_by_others(kc)) {
        pool_->retire(kc);
      }
    }
  }
  if (!needed_.empty() && pool_->size() > 0) {
    // All of them when they fit; else half the pool at a time, so that the
    // previous batch keeps its keys while the next one is typed.
    auto batches = plan_batches(needed_, pool_->size());
    if (batches.size() > 1) {
      batches = plan_batches(needed_, pool_->batch_limit());
    }
    bind(batches.front());
  }
}

void X11Platform::end_typing() {
  typing_ = false;
  XSync(display_, False);
  pending_ = 0;
  needed_.clear();
  needed_cursor_ = 0;
  if (pool_ && pool_->any_bound()) {
    // The receiving window may read its keys well after we sent them (a remote
    // console on a busy machine reads them at its own pace); a key it reads once
    // its keycode has gone back to the map is lost. Leave it as long again as
    // the paste took, twice over, before giving the keycodes back.
    const auto typed_for = Clock::now() - typing_started_;
    restore_after_ =
        Clock::now() + kRestoreIdle + std::min<Clock::duration>(2 * typed_for, kRestoreLagLimit);
  }
  if (events_sent_ != events_at_start_) {
    nudges_left_ = static_cast<int>(std::size(kNudgeDelays));
    nudge_after_ = Clock::now() + kNudgeDelays[0];
  }
}

void X11Platform::nudge() {
  const int done = static_cast<int>(std::size(kNudgeDelays)) - nudges_left_;
  nudge_after_.reset();
  if (nudges_left_ <= 0) {
    return;
  }
  if (--nudges_left_ > 0) {
    nudge_after_ = Clock::now() + kNudgeDelays[done + 1] - kNudgeDelays[done];
  }
  // Not while the user holds a modifier: our release would end theirs.
  const KeyCode control = XKeysymToKeycode(display_, XK_Control_L);
  if (control == 0 || held_modifiers() != 0) {
    return;
  }
  XTestFakeKeyEvent(display_, control, True, CurrentTime);
  XTestFakeKeyEvent(display_, control, False, CurrentTime);
  XFlush(display_);
}

std::optional<KeyLocation> X11Platform::locate(char32_t ch) {
  ensure_keymap();
  const std::optional<KeyChoice> choice = key_index_.find(ch);
  if (choice && !choice->dead) {
    return KeyLocation{choice->keycode, choice->modifiers, false};
  }
  // This character is the next of those the text needs lent.
  const KeySym32 keysym = char_to_keysym(ch);
  const std::size_t index = needed_cursor_;
  if (needed_cursor_ < needed_.size()) {
    ++needed_cursor_;
  }
  if (choice && choice->dead) {
    return KeyLocation{choice->keycode, choice->modifiers, true};
  }
  if (!pool_->keycode_for(keysym) && pool_->size() > 0) {
    if (index < needed_.size() && needed_[index] == keysym) {
      const std::vector<KeySym32> rest(needed_.begin() + static_cast<std::ptrdiff_t>(index),
                                       needed_.end());
      bind(plan_batches(rest, pool_->batch_limit()).front());
    } else {
      bind({keysym});
    }
  }
  if (const auto keycode = pool_->keycode_for(keysym)) {
    return KeyLocation{*keycode, 0, false};
  }
  return std::nullopt;
}

unsigned X11Platform::held_modifiers() {
  char keys[32];
  XQueryKeymap(display_, keys);
  XModifierKeymap *modmap = XGetModifierMapping(display_);
  unsigned held = 0;
  for (Modifier m : {kShift, kControl, kAlt, kAltGr, kSuper}) {
    const unsigned mask = modifier_mask(display_, m, level3_mask_);
    for (int index = 0; index < 8; ++index) {
      if (!(mask & (1u << index))) {
        continue;
      }
      for (int i = 0; i < modmap->max_keypermod; ++i) {
        const KeyCode kc = modmap->modifiermap[index * modmap->max_keypermod + i];
        if (kc != 0 && (keys[kc / 8] & (1 << (kc % 8)))) {
          held |= m;
        }
      }
    }
  }
  XFreeModifiermap(modmap);
  return held;
}

bool X11Platform::caps_lock_on() {
  XkbStateRec state{};
  XkbGetState(display_, XkbUseCoreKbd, &state);
  return (state.locked_mods & LockMask) != 0;
}

std::optional<std::uint32_t> X11Platform::keycode_for_keysym(KeySym32 keysym, bool may_bind) {
  ensure_keymap();
  if (const auto keycode = plain_keycode(keymap_, keysym)) {
    return keycode;
  }
  if (const auto keycode = pool_->keycode_for(keysym)) {
    return keycode;
  }
  if (may_bind && pool_->size() > 0) {
    bind({keysym});
    return pool_->keycode_for(keysym);
  }
  return std::nullopt;
}

void X11Platform::send_virtual_key(std::uint8_t virtual_key, bool up) {
  const std::optional<KeySym32> keysym = virtual_key_keysym(virtual_key);
  if (!keysym) {
    return;
  }
  const std::optional<Modifier> modifier = virtual_key_modifier(virtual_key);
  if (modifier && up) {
    // Release every key that holds this modifier, not only the left-hand one.
    char keys[32];
    XQueryKeymap(display_, keys);
    XModifierKeymap *modmap = XGetModifierMapping(display_);
    const unsigned mask = modifier_mask(display_, *modifier, level3_mask_);
    for (int index = 0; index < 8; ++index) {
      for (int i = 0; (mask & (1u << index)) && i < modmap->max_keypermod; ++i) {
        const KeyCode kc = modmap->modifiermap[index * modmap->max_keypermod + i];
        if (kc != 0 && (keys[kc / 8] & (1 << (kc % 8)))) {
          fake_key(kc, true);
        }
      }
    }
    XFreeModifiermap(modmap);
  }
  std::optional<std::uint32_t> keycode;
  if (modifier) {
    // A modifier key must be a real one: a lent keycode carries no modifier.
    keycode = plain_keycode(keymap_, *keysym);
    if (!keycode && *modifier == kAltGr) {
      keycode = XKeysymToKeycode(display_, XK_Mode_switch);
      if (!*keycode) {
        keycode = XKeysymToKeycode(display_, XK_Alt_R);
      }
    }
    if (!keycode || *keycode == 0) {
      keycode = XKeysymToKeycode(display_, *keysym);
    }
  } else {
    // Keypad keys and any other key the layout lacks at its plain level get a
    // spare keycode, so that the keypad decimal key is KP_Decimal whatever NumLock says.
    keycode = keycode_for_keysym(*keysym, true);
  }
  if (keycode && *keycode != 0) {
    fake_key(*keycode, up);
  }
  if (!typing_) {
    XFlush(display_);
    if (up && pool_ && pool_->any_bound()) {
      restore_after_ = Clock::now() + kRestoreIdle;
    }
  }
}

void X11Platform::send_layout_key(std::uint32_t key, bool up) {
  fake_key(key, up);
}

void X11Platform::send_character(char32_t ch) {
  const KeySym32 keysym = char_to_keysym(ch);
  std::optional<std::uint32_t> keycode = pool_ ? pool_->keycode_for(keysym) : std::nullopt;
  if (!keycode) {
    keycode = keycode_for_keysym(keysym, true);
  }
  if (!keycode) {
    std::fprintf(stderr, "teclix: no queda ninguna tecla libre para U+%04X\n",
                 static_cast<unsigned>(ch));
    return;
  }
  fake_key(*keycode, false);
  fake_key(*keycode, true);
}

void X11Platform::fake_key(std::uint32_t keycode, bool up) {
  XTestFakeKeyEvent(display_, keycode, up ? False : True, CurrentTime);
  const Clock::time_point now = Clock::now();
  last_key_time_ = now;
  if (keycode < last_sent_.size()) {
    last_sent_[keycode] = now;
  }
  ++events_sent_;
  if (++pending_ >= kFlushEvery) {
    XFlush(display_);
    pending_ = 0;
  }
}

// --- Pointer and messages to other windows ----------------------------------------------

Point X11Platform::cursor_position() {
  Window root = None, child = None;
  int root_x = 0, root_y = 0, x = 0, y = 0;
  unsigned state = 0;
  XQueryPointer(display_, root_, &root, &child, &root_x, &root_y, &x, &y, &state);
  return Point{root_x, root_y};
}

void X11Platform::set_cursor_position(Point point) {
  XWarpPointer(display_, None, root_, 0, 0, 0, 0, point.x, point.y);
  XFlush(display_);
}

void X11Platform::left_button(bool up) {
  XTestFakeButtonEvent(display_, Button1, up ? False : True, CurrentTime);
  XFlush(display_);
}

namespace {
struct PropertyWait {
  Window window;
  Atom property;
};
Bool is_property_change(Display *, XEvent *e, XPointer arg) {
  const auto *w = reinterpret_cast<const PropertyWait *>(arg);
  return e->type == PropertyNotify && e->xproperty.window == w->window &&
         e->xproperty.atom == w->property;
}
} // namespace

Time X11Platform::server_time() {
  // Appending nothing to a property still reports the change, with the server's time.
  XChangeProperty(display_, requestor_, timestamp_property_, XA_STRING, 8, PropModeAppend, nullptr,
                  0);
  PropertyWait wait{requestor_, timestamp_property_};
  XEvent e;
  if (wait_for_event(is_property_change, reinterpret_cast<XPointer>(&wait),
                     Clock::now() + kClipboardWait, e)) {
    return e.xproperty.time;
  }
  return CurrentTime;
}

void X11Platform::send_right_double_click(WindowHandle handle) {
  const Window window = static_cast<Window>(handle);
  if (window == None) {
    return;
  }
  // Two clicks of the right button at the window's corner, a millisecond apart,
  // which is how a double click reaches a window.
  XSync(display_, False);
  ErrorTrap trap;
  g_trap = &trap;
  int root_x = 0, root_y = 0;
  Window child = None;
  const bool there = XTranslateCoordinates(display_, window, root_, 0, 0, &root_x, &root_y, &child);
  XSync(display_, False);
  g_trap = nullptr;
  if (!there || trap.code != 0) {
    return; // no such window: nothing to send, as the system does
  }
  const Time start = server_time();
  for (int i = 0; i < 4; ++i) {
    const bool press = i % 2 == 0;
    XEvent e{};
    e.xbutton.type = press ? ButtonPress : ButtonRelease;
    e.xbutton.display = display_;
    e.xbutton.window = window;
    e.xbutton.root = root_;
    e.xbutton.subwindow = None;
    e.xbutton.time = start == CurrentTime ? CurrentTime : start + static_cast<Time>(i);
    e.xbutton.x = 0;
    e.xbutton.y = 0;
    e.xbutton.x_root = root_x;
    e.xbutton.y_root = root_y;
    e.xbutton.state = press ? 0 : Button3Mask;
    e.xbutton.button = Button3;
    e.xbutton.same_screen = True;
    XSendEvent(display_, window, False, press ? ButtonPressMask : ButtonReleaseMask, &e);
  }
  XSync(display_, False);
}

// Posted characters are read as Windows-1252 (western_char).
std::uint8_t X11Platform::post_code(char16_t ch) {
  return western_code(ch);
}

void X11Platform::post_character(WindowHandle handle, std::uint8_t code) {
  const Window window = static_cast<Window>(handle);
  if (window == None) {
    return;
  }
  const char32_t ch = western_char(code);
  std::optional<std::uint32_t> keycode;
  unsigned modifiers = 0;
  KeySym32 control = kNoSymbol;
  switch (ch) {
  case U'\b':
    control = XK_BackSpace;
    break;
  case U'\t':
    control = XK_Tab;
    break;
  case U'\n':
  case U'\r':
    control = XK_Return;
    break;
  case 0x1B:
    control = XK_Escape;
    break;
  default:
    break;
  }
  if (control != kNoSymbol) {
    keycode = keycode_for_keysym(control, true);
  } else {
    ensure_keymap();
    const std::optional<KeyChoice> choice = key_index_.find(ch);
    if (choice && !choice->dead) {
      keycode = choice->keycode;
      modifiers = choice->modifiers;
    } else {
      // No live key types it: a spare keycode does, for as long as it is lent.
      keycode = keycode_for_keysym(char_to_keysym(ch), true);
    }
  }
  if (!keycode) {
    return;
  }
  XkbStateRec xkb{};
  XkbGetState(display_, XkbUseCoreKbd, &xkb);
  const unsigned state = ((modifiers & kShift) ? ShiftMask : 0u) |
                         ((modifiers & kAltGr) ? level3_mask_ : 0u) |
                         XkbBuildCoreState(0, xkb.group);
  XSync(display_, False);
  ErrorTrap trap;
  g_trap = &trap;
  for (const bool press : {true, false}) {
    XEvent e{};
    e.xkey.type = press ? KeyPress : KeyRelease;
    e.xkey.display = display_;
    e.xkey.window = window;
    e.xkey.root = root_;
    e.xkey.subwindow = None;
    e.xkey.time = CurrentTime;
    e.xkey.state = state;
    e.xkey.keycode = *keycode;
    e.xkey.same_screen = True;
    XSendEvent(display_, window, False, press ? KeyPressMask : KeyReleaseMask, &e);
  }
  XSync(display_, False);
  g_trap = nullptr;
  if (*keycode < last_sent_.size()) {
    last_sent_[*keycode] = Clock::now();
  }
  if (pool_ && pool_->any_bound()) {
    restore_after_ = Clock::now() + kRestoreIdle;
  }
}

} // namespace teclix::x11
