// The main window: its caption, the instruction and link labels, the link's colour,
// the hand pointer over it, and the pointer moves and clicks it reports.
#pragma once

#include <string>
#include <vector>

#include <X11/Xft/Xft.h>
#include <X11/Xlib.h>

#include "platform/platform.h"
#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_layout.h"

namespace teclix::x11 {

class MainWindow {
public:
  // Sizes and fonts follow the DPI the desktop asks for (Xft.dpi), 96 by default.
  explicit MainWindow(const Connection &connection);
  ~MainWindow();
  MainWindow(const MainWindow &) = delete;
  MainWindow &operator=(const MainWindow &) = delete;

  Window create(WindowEvents &events);
  Window id() const { return window_; }
  double dpi() const { return dpi_; }
  void show();
  void set_caption(const std::string &text);
  void set_instruction(const std::string &text);
  void set_link(const std::string &text);
  // The paste button's caption.
  void set_button(const std::string &text);
  // The link label's text colour.
  void set_link_color(Rgb color);
  // Repaints the whole window.
  void draw();
  // Handles an event of the window; false when it is not the window's.
  bool handle(const XEvent &e);

private:
  void draw_link();
  void draw_button();
  void layout_instruction();
  void layout_link();
  void on_pointer(int x, int y);
  void on_button(const XButtonEvent &e);
  void destroy();

  const Connection &x_;
  WindowEvents *events_ = nullptr;
  Window window_ = None;
  double dpi_ = 96.0;
  MainLayout layout_;
  std::string instruction_;
  std::vector<std::string> lines_; // the instruction, wrapped to its label
  std::string link_;
  Rect link_rect_;                   // where the link label is; it fits its text
  Window link_cursor_window_ = None; // over the link label, for the hand pointer
  bool link_pressed_ = false;        // button 1 went down on the link
  std::string button_;               // the paste button's caption
  bool button_pressed_ = false;      // button 1 went down on the paste button
  XftFont *font_ = nullptr;          // the instruction's font
  XftFont *link_font_ = nullptr;
  XftDraw *draw_ = nullptr;
  XftColor ink_{};
  bool ink_ready_ = false;
  XftColor link_ink_{};
  bool link_ink_ready_ = false;
  XftColor button_face_{}; // the paste button's face and edge, as the desktop's buttons
  XftColor button_edge_{};
  bool button_colors_ready_ = false;
};

// WM_NAME in the most portable encoding that holds the title, and _NET_WM_NAME in UTF-8.
void set_window_title(const Connection &x, Window window, const std::string &title);

} // namespace teclix::x11
