// The X11 backend: Xlib for the window, the clipboard and the focus, a passive
// key grab for F10, XKB to read the keyboard map and XTest to type.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <X11/Xft/Xft.h>
#include <X11/Xlib.h>

#include "platform/platform.h"
#include "platform/x11/x11_keymap.h"
#include "platform/x11/x11_window_model.h"

namespace teclix::x11 {

// Reads the core keyboard's map in the given XKB group (or the current group).
Keymap read_keymap(Display *display, std::optional<int> group = std::nullopt);

class X11Platform : public Platform {
public:
  // Connects to the display (nullptr: $DISPLAY). On failure returns nullptr and
  // sets error to a message for the user.
  static std::unique_ptr<X11Platform> open(const char *display_name, std::string &error);
  ~X11Platform() override;
  X11Platform(const X11Platform &) = delete;
  X11Platform &operator=(const X11Platform &) = delete;

  Display *display() const { return display_; }

  WindowHandle create_main_window(WindowEvents &events) override;
  void show_window(WindowHandle window) override;
  void set_caption(WindowHandle window, const std::u16string &text) override;
  void set_instruction(WindowHandle window, const std::u16string &text) override;
  void set_link(WindowHandle window, const std::u16string &text) override;
  void set_link_color(WindowHandle window, std::uint32_t color) override;
  void open_address(WindowHandle window, const std::u16string &address) override;
  int message_box(const std::u16string &prompt, const std::u16string &title, int style) override;

  CallResult register_hotkey(WindowHandle window, int id, unsigned modifiers,
                             unsigned virtual_key) override;
  void unregister_hotkey(WindowHandle window, int id) override;
  void wait_message() override;
  bool peek_hotkey(WindowHandle window) override;
  void pump_events() override;

  WindowHandle focused_control() override;
  std::optional<std::u16string> clipboard_text() override;
  NumberFormat number_format() override;

  void begin_typing(std::u16string_view text) override;
  void end_typing() override;
  std::optional<KeyLocation> locate(char32_t ch) override;
  unsigned held_modifiers() override;
  bool caps_lock_on() override;
  void send_virtual_key(std::uint8_t virtual_key, bool up) override;
  void send_layout_key(std::uint32_t key, bool up) override;
  void send_character(char32_t ch) override;

  Point cursor_position() override;
  void set_cursor_position(Point point) override;
  void left_button(bool up) override;
  void send_right_double_click(WindowHandle window) override;
  std::uint8_t post_code(char16_t ch) override;
  void post_character(WindowHandle window, std::uint8_t code) override;

  // Gives every lent keycode back to the keyboard map now (after letting the
  // last keys typed with them reach their window).
  void restore_keymap();

private:
  using Clock = std::chrono::steady_clock;

  explicit X11Platform(Display *display);

  // --- window ---
  void draw_main_window();
  void draw_link();
  void layout_instruction();
  void layout_link();
  void on_pointer(int x, int y);
  void on_button(const XButtonEvent &e);
  // A timestamp from the server, for events sent to other windows.
  Time server_time();
  // --- keyboard ---
  void refresh_keymap();
  std::vector<std::uint32_t> borrowable_keys(const Keymap &map);
  bool grabbed_by_others(std::uint32_t keycode);
  void ensure_keymap();
  void bind(const std::vector<KeySym32> &keysyms);
  std::optional<std::uint32_t> keycode_for_keysym(KeySym32 keysym, bool may_bind);
  void fake_key(std::uint32_t keycode, bool up);
  // Taps the left Control key, so that a receiver that stopped reading reads the rest.
  void nudge();
  // --- waiting on the connection ---
  bool wait_readable(Clock::time_point deadline);
  bool wait_for_event(Bool (*predicate)(Display *, XEvent *, XPointer), XPointer arg,
                      Clock::time_point deadline, XEvent &out);

  Display *display_;
  Window root_;
  int screen_;

  // Atoms.
  Atom clipboard_, utf8_string_, incr_, targets_, selection_property_;
  Atom wm_protocols_, wm_delete_window_, net_active_window_, net_wm_name_, net_wm_icon_;
  Atom timestamp_property_;

  // The main window.
  Window window_ = None;
  Window requestor_ = None; // hidden window that receives selection data
  WindowEvents *events_ = nullptr;
  double dpi_ = 96.0;
  MainLayout layout_;
  std::vector<std::string> lines_; // the instruction, UTF-8, wrapped to its label
  std::string instruction_;
  std::string link_;                 // the link label's text, UTF-8
  Rect link_rect_;                   // where the link label is; it fits its text
  Window link_cursor_window_ = None; // over the link label, for the hand pointer
  bool link_pressed_ = false;        // button 1 went down on the link
  XftFont *font_ = nullptr;          // the instruction's font
  XftFont *link_font_ = nullptr;
  XftDraw *draw_ = nullptr;
  XftColor ink_{};
  bool ink_ready_ = false;
  XftColor link_ink_{};
  bool link_ink_ready_ = false;

  // The hotkey.
  unsigned hotkey_keycode_ = 0;
  unsigned hotkey_modifiers_ = 0;
  bool hotkey_grabbed_ = false;

  // The keyboard map and the keycodes lent to characters.
  Keymap keymap_;
  KeyIndex key_index_; // the best key for each character of keymap_
  std::map<std::uint32_t, std::vector<KeySym>> borrowed_originals_; // their own keysyms
  int borrowed_per_keycode_ = 0;
  bool keymap_valid_ = false;
  unsigned level3_mask_ = 0;
  std::optional<SparePool> pool_;
  std::array<Clock::time_point, 256> last_sent_{}; // last event per keycode
  std::vector<KeySym32> needed_; // keysyms the current text needs lent, in text order
  std::size_t needed_cursor_ = 0;
  bool typing_ = false;
  Clock::time_point typing_started_{};
  std::uint64_t events_at_start_ = 0;
  std::optional<Clock::time_point> nudge_after_; // next tap of Control after a paste
  int nudges_left_ = 0;
  std::size_t pending_ = 0; // key events not yet flushed
  std::uint64_t events_sent_ = 0;
  std::optional<Clock::time_point> restore_after_;
  Clock::time_point last_key_time_{};
};

} // namespace teclix::x11
