#include "platform/x11/x11_message_box.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include <X11/Xatom.h>
#include <X11/Xft/Xft.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include "platform/x11/x11_layout.h"
#include "platform/x11/x11_message_box_model.h"
#include "platform/x11/x11_text.h"

namespace teclix::x11 {

namespace {

// The colours the box is painted with, as Windows 10 paints its message boxes.
struct Palette {
  enum Index {
    kText,
    kWhite,
    kStrip,
    kButton,
    kButtonBorder,
    kFocusBorder,
    kPressed,
    kQuestion,
    kError,
    kWarning,
    kCount
  };
  static constexpr unsigned kRgb[kCount] = {0x000000, 0xFFFFFF, 0xF0F0F0, 0xE1E1E1, 0xADADAD,
                                            0x0078D7, 0xCCE4F7, 0x1C62B9, 0xE81123, 0xFFB900};
};

class MessageBox {
public:
  MessageBox(const DialogSetup &setup, const std::string &prompt, const std::string &title,
             const MessageBoxStyle &style)
      : setup_(setup), d_(setup.display), style_(style), buttons_(dialog_buttons(style)),
        focus_(dialog_default_button(style)), icon_(style.icon) {
    const double dpi = setup.dpi;
    font_ = open_font(d_, setup.screen, 9, dpi, {"Liberation Sans", "sans"});
    glyph_font_ = open_font(d_, setup.screen, 17, dpi, {"Liberation Sans:bold", "sans:bold"});
    Visual *visual = DefaultVisual(d_, setup.screen);
    Colormap colormap = DefaultColormap(d_, setup.screen);
    for (int i = 0; i < Palette::kCount; ++i) {
      const unsigned rgb = Palette::kRgb[i];
      XRenderColor c{static_cast<unsigned short>(((rgb >> 16) & 0xFF) * 257),
                     static_cast<unsigned short>(((rgb >> 8) & 0xFF) * 257),
                     static_cast<unsigned short>((rgb & 0xFF) * 257), 0xFFFF};
      colour_ready_[i] = XftColorAllocValue(d_, visual, colormap, &c, &colour_[i]);
    }
    layout(prompt);
    create(title);
  }

  ~MessageBox() {
    Visual *visual = DefaultVisual(d_, setup_.screen);
    Colormap colormap = DefaultColormap(d_, setup_.screen);
    if (gc_) {
      XFreeGC(d_, gc_);
    }
    if (draw_) {
      XftDrawDestroy(draw_);
    }
    if (box_ != None) {
      XDestroyWindow(d_, box_);
      XFlush(d_);
    }
    for (int i = 0; i < Palette::kCount; ++i) {
      if (colour_ready_[i]) {
        XftColorFree(d_, visual, colormap, &colour_[i]);
      }
    }
    for (XftFont *font : {font_, glyph_font_}) {
      if (font) {
        XftFontClose(d_, font);
      }
    }
  }
  MessageBox(const MessageBox &) = delete;
  MessageBox &operator=(const MessageBox &) = delete;

  BoxAnswer run() {
    struct Windows {
      Window box, owner;
    } windows{box_, setup_.owner};
    auto ours = [](Display *, XEvent *e, XPointer arg) -> Bool {
      const auto *w = reinterpret_cast<const Windows *>(arg);
      return e->xany.window == w->box || (w->owner != None && e->xany.window == w->owner);
    };
    while (true) {
      XEvent e;
      setup_.loop->take_event(ours, reinterpret_cast<XPointer>(&windows), e);
      if (e.xany.window != box_) {
        if (setup_.owner_event) {
          setup_.owner_event(e);
        }
        continue;
      }
      if (const std::optional<BoxAnswer> result = handle(e)) {
        return *result;
      }
    }
  }

private:
  int scaled(int pixels) const { return scale_pixels(pixels, setup_.dpi); }

  void layout(const std::string &prompt) {
    const int pad = scaled(20);
    const int icon = icon_ == MessageBoxIcon::kNone ? 0 : scaled(32);
    line_height_ = font_ ? font_->ascent + font_->descent + scaled(1) : scaled(16);
    auto measure = [this](const std::string &s) {
      return font_ ? text_width(d_, font_, s) : 7 * static_cast<int>(s.size());
    };
    lines_ = wrap_text(prompt, scaled(360), measure);
    int text_w = 0;
    for (const std::string &line : lines_) {
      text_w = std::max(text_w, measure(line));
    }
    const int text_h = static_cast<int>(lines_.size()) * line_height_;
    icon_rect_ = Rect{pad, pad, icon, icon};
    text_x_ = pad + (icon ? icon + scaled(14) : 0);
    text_y_ = pad + (text_h < icon ? (icon - text_h) / 2 : 0);
    const int content_h = 2 * pad + std::max(icon, text_h);

    const int button_h = scaled(26), gap = scaled(8), edge = scaled(12);
    std::vector<int> widths;
    int buttons_w = 0;
    for (const DialogButton &b : buttons_) {
      widths.push_back(std::max(scaled(88), measure(b.caption) + scaled(20)));
      buttons_w += widths.back();
    }
    buttons_w += gap * static_cast<int>(buttons_.size() - 1);
    width_ = std::max({text_x_ + text_w + pad, buttons_w + 2 * edge, scaled(220)});
    strip_y_ = content_h;
    height_ = content_h + button_h + 2 * scaled(11);
    int x = width_ - edge - buttons_w;
    for (int w : widths) {
      button_rects_.push_back(Rect{x, strip_y_ + scaled(11), w, button_h});
      x += w + gap;
    }
  }

  void create(const std::string &title) {
    Window root = RootWindow(d_, setup_.screen);
    // Over the middle of the owner, else of the screen.
    int cx = DisplayWidth(d_, setup_.screen) / 2, cy = DisplayHeight(d_, setup_.screen) / 2;
    XWindowAttributes owner{};
    if (setup_.owner != None && XGetWindowAttributes(d_, setup_.owner, &owner) &&
        owner.map_state == IsViewable) {
      Window child = None;
      XTranslateCoordinates(d_, setup_.owner, root, owner.width / 2, owner.height / 2, &cx, &cy,
                            &child);
    }
    const int x = std::max(0, cx - width_ / 2), y = std::max(0, cy - height_ / 2);
    XSetWindowAttributes a{};
    a.background_pixel = colour_[Palette::kWhite].pixel;
    a.event_mask =
        ExposureMask | ButtonPressMask | ButtonReleaseMask | KeyPressMask | StructureNotifyMask;
    a.cursor = XCreateFontCursor(d_, 68); // XC_left_ptr
    box_ = XCreateWindow(d_, root, x, y, static_cast<unsigned>(width_),
                         static_cast<unsigned>(height_), 0, CopyFromParent, InputOutput,
                         CopyFromParent, CWBackPixel | CWEventMask | CWCursor, &a);
    XFreeCursor(d_, a.cursor);

    XStoreName(d_, box_, title.c_str());
    const Atoms &atoms = *setup_.atoms;
    XChangeProperty(d_, box_, atoms.net_wm_name, atoms.utf8_string, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char *>(title.data()),
                    static_cast<int>(title.size()));
    Atom delete_window = atoms.wm_delete_window;
    XSetWMProtocols(d_, box_, &delete_window, 1);
    delete_window_ = delete_window;
    set_fixed_window_hints(d_, box_, x, y, width_, height_);
    if (setup_.owner != None) {
      XSetTransientForHint(d_, box_, setup_.owner);
    }
    XChangeProperty(d_, box_, atoms.net_wm_window_type, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char *>(&atoms.net_wm_window_type_dialog), 1);
    XChangeProperty(d_, box_, atoms.net_wm_state, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char *>(&atoms.net_wm_state_modal), 1);

    draw_ = XftDrawCreate(d_, box_, DefaultVisual(d_, setup_.screen),
                          DefaultColormap(d_, setup_.screen));
    gc_ = XCreateGC(d_, box_, 0, nullptr);
    XMapRaised(d_, box_);
    XFlush(d_);
  }

  std::optional<BoxAnswer> handle(const XEvent &e) {
    switch (e.type) {
    case MapNotify:
      // The box takes the keyboard, as a new modal box does.
      XSetInputFocus(d_, box_, RevertToParent, CurrentTime);
      XFlush(d_);
      break;
    case Expose:
      if (e.xexpose.count == 0) {
        paint();
      }
      break;
    case ButtonPress:
      if (e.xbutton.button == Button1) {
        pressed_ = button_at(e.xbutton.x, e.xbutton.y);
        if (pressed_) {
          focus_ = *pressed_;
        }
        paint();
      }
      break;
    case ButtonRelease:
      if (e.xbutton.button == Button1 && pressed_) {
        const std::optional<std::size_t> released = button_at(e.xbutton.x, e.xbutton.y);
        const std::size_t pressed = *pressed_;
        pressed_.reset();
        paint();
        // A click is a press and a release on the same button.
        if (released == pressed) {
          return buttons_[pressed].result;
        }
      }
      break;
    case KeyPress: {
      XKeyEvent key = e.xkey;
      const KeySym sym = XLookupKeysym(&key, 0);
      const bool back = (key.state & ShiftMask) != 0;
      switch (sym) {
      case XK_Return:
      case XK_KP_Enter:
      case XK_space:
        return buttons_[focus_].result;
      case XK_Escape:
        if (const std::optional<BoxAnswer> result = dialog_dismiss_result(style_)) {
          return result;
        }
        break;
      case XK_Tab:
      case XK_ISO_Left_Tab:
        move_focus(back || sym == XK_ISO_Left_Tab ? -1 : 1);
        break;
      case XK_Left:
      case XK_Up:
        move_focus(-1);
        break;
      case XK_Right:
      case XK_Down:
        move_focus(1);
        break;
      default:
        break;
      }
      break;
    }
    case ClientMessage:
      if (static_cast<Atom>(e.xclient.data.l[0]) == delete_window_) {
        if (const std::optional<BoxAnswer> result = dialog_dismiss_result(style_)) {
          return result;
        }
      }
      break;
    default:
      break;
    }
    return std::nullopt;
  }

  void move_focus(int step) {
    const int n = static_cast<int>(buttons_.size());
    focus_ = static_cast<std::size_t>((static_cast<int>(focus_) + step + n) % n);
    paint();
  }

  std::optional<std::size_t> button_at(int x, int y) const {
    for (std::size_t i = 0; i < button_rects_.size(); ++i) {
      if (button_rects_[i].contains(x, y)) {
        return i;
      }
    }
    return std::nullopt;
  }

  void fill(const Rect &r, int colour) {
    XSetForeground(d_, gc_, colour_[colour].pixel);
    XFillRectangle(d_, box_, gc_, r.x, r.y, static_cast<unsigned>(r.width),
                   static_cast<unsigned>(r.height));
  }

  void frame(const Rect &r, int colour, int thickness) {
    fill(Rect{r.x, r.y, r.width, thickness}, colour);
    fill(Rect{r.x, r.y + r.height - thickness, r.width, thickness}, colour);
    fill(Rect{r.x, r.y, thickness, r.height}, colour);
    fill(Rect{r.x + r.width - thickness, r.y, thickness, r.height}, colour);
  }

  void text(XftFont *font, int colour, int x, int baseline, const std::string &s) {
    XftDrawStringUtf8(draw_, &colour_[colour], font, x, baseline,
                      reinterpret_cast<const FcChar8 *>(s.data()), static_cast<int>(s.size()));
  }

  void paint_icon() {
    const Rect &r = icon_rect_;
    std::string glyph;
    int colour = Palette::kQuestion;
    int ink = Palette::kWhite;
    switch (icon_) {
    case MessageBoxIcon::kNone:
      return;
    case MessageBoxIcon::kQuestion:
      glyph = "?";
      break;
    case MessageBoxIcon::kInformation:
      glyph = "i";
      break;
    case MessageBoxIcon::kError:
      glyph = "X";
      colour = Palette::kError;
      break;
    case MessageBoxIcon::kWarning:
      glyph = "!";
      colour = Palette::kWarning;
      ink = Palette::kText;
      break;
    }
    XSetForeground(d_, gc_, colour_[colour].pixel);
    if (icon_ == MessageBoxIcon::kWarning) {
      XPoint corners[3] = {{static_cast<short>(r.x + r.width / 2), static_cast<short>(r.y)},
                           {static_cast<short>(r.x + r.width), static_cast<short>(r.y + r.height)},
                           {static_cast<short>(r.x), static_cast<short>(r.y + r.height)}};
      XFillPolygon(d_, box_, gc_, corners, 3, Convex, CoordModeOrigin);
    } else {
      XFillArc(d_, box_, gc_, r.x, r.y, static_cast<unsigned>(r.width),
               static_cast<unsigned>(r.height), 0, 360 * 64);
    }
    if (glyph_font_) {
      const int w = text_width(d_, glyph_font_, glyph);
      const int glyph_h = glyph_font_->ascent - glyph_font_->descent / 2;
      text(glyph_font_, ink, r.x + (r.width - w) / 2,
           r.y + (r.height + glyph_h) / 2 + (icon_ == MessageBoxIcon::kWarning ? scaled(3) : 0),
           glyph);
    }
  }

  void paint() {
    fill(Rect{0, 0, width_, strip_y_}, Palette::kWhite);
    fill(Rect{0, strip_y_, width_, height_ - strip_y_}, Palette::kStrip);
    paint_icon();
    if (font_) {
      int y = text_y_ + font_->ascent;
      for (const std::string &line : lines_) {
        text(font_, Palette::kText, text_x_, y, line);
        y += line_height_;
      }
    }
    for (std::size_t i = 0; i < buttons_.size(); ++i) {
      const Rect &r = button_rects_[i];
      const bool pressed = pressed_ == i;
      fill(r, pressed ? Palette::kPressed : Palette::kButton);
      frame(r, i == focus_ ? Palette::kFocusBorder : Palette::kButtonBorder,
            i == focus_ ? scaled(2) : 1);
      if (font_) {
        const std::string &caption = buttons_[i].caption;
        const int w = text_width(d_, font_, caption);
        text(font_, Palette::kText, r.x + (r.width - w) / 2,
             r.y + (r.height + font_->ascent - font_->descent) / 2, caption);
      }
    }
    XFlush(d_);
  }

  const DialogSetup &setup_;
  Display *d_;
  MessageBoxStyle style_;
  std::vector<DialogButton> buttons_;
  std::size_t focus_;
  MessageBoxIcon icon_;
  std::optional<std::size_t> pressed_;

  XftFont *font_ = nullptr;
  XftFont *glyph_font_ = nullptr;
  XftColor colour_[Palette::kCount]{};
  bool colour_ready_[Palette::kCount]{};

  std::vector<std::string> lines_;
  int line_height_ = 0;
  Rect icon_rect_;
  int text_x_ = 0, text_y_ = 0;
  int width_ = 0, height_ = 0, strip_y_ = 0;
  std::vector<Rect> button_rects_;

  Window box_ = None;
  Atom delete_window_ = None;
  XftDraw *draw_ = nullptr;
  GC gc_ = nullptr;
};

} // namespace

void set_fixed_window_hints(Display *display, Window window, int x, int y, int width, int height) {
  XClassHint hint{const_cast<char *>("teclix"), const_cast<char *>("Teclix")};
  XSetClassHint(display, window, &hint);
  XWMHints *wm = XAllocWMHints();
  wm->flags = InputHint | StateHint;
  wm->input = True;
  wm->initial_state = NormalState;
  XSetWMHints(display, window, wm);
  XFree(wm);
  // The smallest and the largest size are the same.
  XSizeHints *size = XAllocSizeHints();
  size->flags = PPosition | PMinSize | PMaxSize;
  size->x = x;
  size->y = y;
  size->min_width = size->max_width = width;
  size->min_height = size->max_height = height;
  XSetWMNormalHints(display, window, size);
  XFree(size);
}

BoxAnswer run_message_box(const DialogSetup &setup, const std::string &prompt,
                          const std::string &title, const MessageBoxStyle &style) {
  MessageBox box(setup, prompt, title, style);
  return box.run();
}

} // namespace teclix::x11
