// The main window: its caption, the instruction and link labels, the link's colour,
// the hand pointer over it, and the pointer moves and clicks it reports.
#include "platform/x11/x11_main_window.h"

#include <algorithm>
#include <span>

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <X11/keysym.h>

#include "platform/x11/x11_icon.h"
#include "platform/x11/x11_message_box.h"
#include "platform/x11/x11_text.h"
#include "teclix_icon_data.h"

namespace teclix::x11 {

void set_window_title(const Connection &x, Window window, const std::string &title) {
  char *list[] = {const_cast<char *>(title.c_str())};
  XTextProperty property{};
  if (Xutf8TextListToTextProperty(x.display, list, 1, XStdICCTextStyle, &property) >= Success) {
    XSetWMName(x.display, window, &property);
    XFree(property.value);
  }
  XChangeProperty(x.display, window, x.atoms.net_wm_name, x.atoms.utf8_string, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char *>(title.data()),
                  static_cast<int>(title.size()));
}

MainWindow::MainWindow(const Connection &connection) : x_(connection) {
  dpi_ = dpi_from_resource(XGetDefault(x_.display, "Xft", "dpi"));
  layout_ = main_layout(dpi_);
  font_ =
      open_font(x_.display, x_.screen, 9.75, dpi_, {"Liberation Serif:bold", "serif:bold", "sans"});
  link_font_ = open_font(x_.display, x_.screen, 20.25, dpi_,
                         {"Liberation Serif:bold", "serif:bold", "sans"});
  Visual *visual = DefaultVisual(x_.display, x_.screen);
  Colormap colormap = DefaultColormap(x_.display, x_.screen);
  ink_ready_ = XftColorAllocName(x_.display, visual, colormap, "black", &ink_);
  button_colors_ready_ =
      XftColorAllocName(x_.display, visual, colormap, "#e1e1e1", &button_face_) &&
      XftColorAllocName(x_.display, visual, colormap, "#7a7a7a", &button_edge_);
}

MainWindow::~MainWindow() {
  destroy();
  Visual *visual = DefaultVisual(x_.display, x_.screen);
  Colormap colormap = DefaultColormap(x_.display, x_.screen);
  if (ink_ready_) {
    XftColorFree(x_.display, visual, colormap, &ink_);
  }
  if (link_ink_ready_) {
    XftColorFree(x_.display, visual, colormap, &link_ink_);
  }
  if (button_colors_ready_) {
    XftColorFree(x_.display, visual, colormap, &button_face_);
    XftColorFree(x_.display, visual, colormap, &button_edge_);
  }
  for (XftFont *font : {font_, link_font_}) {
    if (font) {
      XftFontClose(x_.display, font);
    }
  }
}

void MainWindow::destroy() {
  if (draw_) {
    XftDrawDestroy(draw_);
    draw_ = nullptr;
  }
  if (window_ != None) {
    XDestroyWindow(x_.display, window_);
    window_ = None;
    link_cursor_window_ = None; // goes with its parent
  }
}

Window MainWindow::create(WindowEvents &events) {
  Display *d = x_.display;
  events_ = &events;
  // A small fixed utility window in the middle of the screen, on the desktop's
  // window colour (white).
  const int width = layout_.width, height = layout_.height;
  const int x = std::max(0, (DisplayWidth(d, x_.screen) - width) / 2);
  const int y = std::max(0, (DisplayHeight(d, x_.screen) - height) / 2);
  XSetWindowAttributes a{};
  a.background_pixel = WhitePixel(d, x_.screen);
  a.event_mask = ExposureMask | StructureNotifyMask | PointerMotionMask | EnterWindowMask |
                 ButtonPressMask | ButtonReleaseMask | KeyPressMask;
  a.cursor = XCreateFontCursor(d, XC_left_ptr);
  window_ = XCreateWindow(d, x_.root, x, y, static_cast<unsigned>(width),
                          static_cast<unsigned>(height), 0, CopyFromParent, InputOutput,
                          CopyFromParent, CWBackPixel | CWEventMask | CWCursor, &a);
  XFreeCursor(d, a.cursor);
  set_window_title(x_, window_, "Teclix");
  Atom delete_window = x_.atoms.wm_delete_window;
  XSetWMProtocols(d, window_, &delete_window, 1);
  set_fixed_window_hints(d, window_, x, y, width, height);
  const std::vector<unsigned long> icon = net_wm_icon(
      std::span<const unsigned char>(kIconRgba, sizeof kIconRgba), kIconWidth, kIconHeight);
  XChangeProperty(d, window_, x_.atoms.net_wm_icon, XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char *>(icon.data()),
                  static_cast<int>(icon.size()));

  // The link shows a hand: an input-only window over it carries that pointer and
  // lets every event through to the main window.
  XSetWindowAttributes over{};
  over.cursor = XCreateFontCursor(d, XC_hand2);
  link_cursor_window_ = XCreateWindow(d, window_, layout_.link_x, layout_.link_y, 1, 1, 0,
                                      CopyFromParent, InputOnly, CopyFromParent, CWCursor, &over);
  XFreeCursor(d, over.cursor);

  draw_ = XftDrawCreate(d, window_, DefaultVisual(d, x_.screen), DefaultColormap(d, x_.screen));
  return window_;
}

void MainWindow::show() {
  XMapRaised(x_.display, window_);
  XFlush(x_.display);
}

void MainWindow::set_caption(const std::string &text) {
  if (window_ == None) {
    return;
  }
  set_window_title(x_, window_, text);
  XFlush(x_.display);
}

void MainWindow::set_instruction(const std::string &text) {
  instruction_ = text;
  layout_instruction();
  draw();
}

void MainWindow::set_link(const std::string &text) {
  link_ = text;
  layout_link();
  draw();
}

void MainWindow::set_button(const std::string &text) {
  button_ = text;
  draw_button();
}

void MainWindow::set_link_color(Rgb color) {
  const XRenderColor value{static_cast<unsigned short>(color.red * 257),
                           static_cast<unsigned short>(color.green * 257),
                           static_cast<unsigned short>(color.blue * 257), 0xFFFF};
  Visual *visual = DefaultVisual(x_.display, x_.screen);
  Colormap colormap = DefaultColormap(x_.display, x_.screen);
  if (link_ink_ready_) {
    XftColorFree(x_.display, visual, colormap, &link_ink_);
  }
  link_ink_ready_ = XftColorAllocValue(x_.display, visual, colormap, &value, &link_ink_);
  draw_link();
}

void MainWindow::layout_instruction() {
  if (!font_) {
    return;
  }
  lines_ = wrap_text(instruction_, layout_.instruction.width,
                     [this](const std::string &s) { return text_width(x_.display, font_, s); });
}

// The link label sizes itself to its text and keeps its top-left corner.
void MainWindow::layout_link() {
  if (!link_font_ || window_ == None) {
    return;
  }
  link_rect_ = Rect{layout_.link_x, layout_.link_y, text_width(x_.display, link_font_, link_),
                    link_font_->ascent + link_font_->descent};
  if (link_rect_.width > 0) {
    XMoveResizeWindow(x_.display, link_cursor_window_, link_rect_.x, link_rect_.y,
                      static_cast<unsigned>(link_rect_.width),
                      static_cast<unsigned>(link_rect_.height));
    XMapWindow(x_.display, link_cursor_window_);
  } else {
    XUnmapWindow(x_.display, link_cursor_window_);
  }
}

void MainWindow::draw() {
  if (!draw_ || window_ == None) {
    return;
  }
  XClearWindow(x_.display, window_);
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
  draw_button();
}

// The paste button: a face with a one-pixel edge and its caption in the middle.
void MainWindow::draw_button() {
  if (!draw_ || window_ == None || !font_ || !ink_ready_ || !button_colors_ready_) {
    return;
  }
  const Rect &r = layout_.button;
  const auto w = static_cast<unsigned>(r.width), h = static_cast<unsigned>(r.height);
  XftDrawRect(draw_, &button_edge_, r.x, r.y, w, h);
  XftDrawRect(draw_, &button_face_, r.x + 1, r.y + 1, w - 2, h - 2);
  const int text_x = r.x + (r.width - text_width(x_.display, font_, button_)) / 2;
  const int text_y = r.y + (r.height - (font_->ascent + font_->descent)) / 2 + font_->ascent;
  XRectangle clip{static_cast<short>(r.x + 1), static_cast<short>(r.y + 1),
                  static_cast<unsigned short>(w - 2), static_cast<unsigned short>(h - 2)};
  XftDrawSetClipRectangles(draw_, 0, 0, &clip, 1);
  XftDrawStringUtf8(draw_, &ink_, font_, text_x, text_y,
                    reinterpret_cast<const FcChar8 *>(button_.data()),
                    static_cast<int>(button_.size()));
  XftDrawSetClip(draw_, nullptr);
  XFlush(x_.display);
}

// Paints the link label alone: a colour change repaints nothing else.
void MainWindow::draw_link() {
  if (!draw_ || window_ == None || !link_font_ || !link_ink_ready_ || link_rect_.width <= 0) {
    return;
  }
  XClearArea(x_.display, window_, link_rect_.x, link_rect_.y,
             static_cast<unsigned>(link_rect_.width), static_cast<unsigned>(link_rect_.height),
             False);
  XftDrawStringUtf8(draw_, &link_ink_, link_font_, link_rect_.x, link_rect_.y + link_font_->ascent,
                    reinterpret_cast<const FcChar8 *>(link_.data()),
                    static_cast<int>(link_.size()));
  XFlush(x_.display);
}

// A pointer move in the window: over the link or the background. The instruction
// label takes the moves over it for itself, and they go no further.
void MainWindow::on_pointer(int x, int y) {
  switch (pointer_area(layout_, link_rect_, x, y)) {
  case PointerArea::kLink:
    events_->on_link_mouse_move();
    break;
  case PointerArea::kBackground:
    events_->on_background_mouse_move();
    break;
  case PointerArea::kButton:
  case PointerArea::kInstruction:
  case PointerArea::kOutside:
    break;
  }
}

// A click on the link or the paste button is a press and a release of the first
// mouse button, both on it.
void MainWindow::on_button(const XButtonEvent &e) {
  if (e.button != Button1) {
    return;
  }
  const PointerArea area = pointer_area(layout_, link_rect_, e.x, e.y);
  const bool on_link = area == PointerArea::kLink;
  const bool on_button = area == PointerArea::kButton;
  if (e.type == ButtonPress) {
    link_pressed_ = on_link;
    button_pressed_ = on_button;
    return;
  }
  const bool link_click = link_pressed_ && on_link;
  const bool button_click = button_pressed_ && on_button;
  link_pressed_ = button_pressed_ = false;
  if (link_click) {
    events_->on_link_click();
  } else if (button_click) {
    events_->on_paste_button_click();
  }
}

bool MainWindow::handle(const XEvent &e) {
  if (window_ == None || e.xany.window != window_ || !events_) {
    return false;
  }
  switch (e.type) {
  case Expose:
    if (e.xexpose.count == 0) {
      draw();
    }
    break;
  case MotionNotify:
    on_pointer(e.xmotion.x, e.xmotion.y);
    break;
  case EnterNotify:
    // Coming in from outside counts as a move to where the pointer is now.
    if (e.xcrossing.mode == NotifyNormal) {
      on_pointer(e.xcrossing.x, e.xcrossing.y);
    }
    break;
  case ButtonPress:
  case ButtonRelease:
    on_button(e.xbutton);
    break;
  case KeyPress:
    if (XLookupKeysym(const_cast<XKeyEvent *>(&e.xkey), 0) == XK_Escape) {
      events_->on_escape_key();
    }
    break;
  case ClientMessage:
    if (e.xclient.message_type == x_.atoms.wm_protocols &&
        static_cast<Atom>(e.xclient.data.l[0]) == x_.atoms.wm_delete_window) {
      events_->on_close();
      destroy();
      XFlush(x_.display);
    }
    break;
  default:
    break;
  }
  return true;
}

} // namespace teclix::x11
