// The X11 backend: owns the parts (connection, event loop, main window, hotkey,
// clipboard, keyboard, synthetic events) and forwards the seam's calls to them.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/platform.h"
#include "platform/x11/x11_clipboard.h"
#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_event_loop.h"
#include "platform/x11/x11_hotkey.h"
#include "platform/x11/x11_hotkey_watch.h"
#include "platform/x11/x11_keyboard.h"
#include "platform/x11/x11_keymap_reader.h"
#include "platform/x11/x11_main_window.h"
#include "platform/x11/x11_synthetic.h"

namespace teclix::x11 {

class X11Platform : public AllParts, public DescriptorWatch {
public:
  // Connects to the display (nullptr: $DISPLAY). On failure returns nullptr and
  // sets error to a message for the user.
  static std::unique_ptr<X11Platform> open(const char *display_name, std::string &error);
  X11Platform(const X11Platform &) = delete;
  X11Platform &operator=(const X11Platform &) = delete;

  Display *display() const { return connection_->display; }
  // Runs readable whenever fd has data while the program waits; when it returns
  // true the wait ends, as for an event.
  void watch(int fd, std::function<bool()> readable) override {
    loop_.watch(fd, std::move(readable));
  }
  void unwatch(int fd) override { loop_.unwatch(fd); }

  WindowHandle create_main_window(WindowEvents &events) override;
  void show_window(WindowHandle window) override;
  void set_caption(WindowHandle window, const std::u16string &text) override;
  void set_instruction(WindowHandle window, const std::u16string &text) override;
  void set_link(WindowHandle window, const std::u16string &text) override;
  void set_button(WindowHandle window, const std::u16string &text) override;
  void set_link_color(WindowHandle window, Rgb color) override;
  void open_address(const std::u16string &address) override;
  // Under Wayland, F10 reaches this program and its keys reach other programs
  // only while an X11 window has the focus.
  SessionState session_state() override;
  // X11 lets every client send keys to every other.
  TargetPrivilege target_privilege() override { return TargetPrivilege::kSameOrLower; }
  BoxAnswer message_box(const std::u16string &prompt, const std::u16string &title,
                        const MessageBoxStyle &style) override;

  CallResult register_hotkey(Key key, unsigned modifiers) override;
  void unregister_hotkey() override;
  void wait_message() override;
  void wait_message_until(std::chrono::steady_clock::time_point until) override;
  // Pastes asked for another way than F10 (the program's socket): take says
  // whether one is waiting, and takes it; drop turns away those that came while a
  // paste was typed, and is called when each paste ends.
  struct PasteRequestSource {
    std::function<bool()> take;
    std::function<void()> drop;
  };
  void set_paste_requests(PasteRequestSource source) { paste_requests_ = std::move(source); }
  // Tells the window that what session_state() says has changed (parts that
  // stand in for this one's, in a Wayland session).
  void session_changed() {
    if (events_) {
      events_->on_session_changed();
    }
  }
  // An F10 press, or a paste asked for otherwise.
  bool take_paste_press() override;
  // Each of the two, taken apart.
  bool take_paste_request();
  bool take_key_press();
  void drop_paste_requests();
  void pump_events() override;

  WindowHandle focused_control() override;
  // Whether the window manager says an X11 window is active; nullopt when it
  // does not say.
  std::optional<bool> x11_window_active();
  // WM_CLASS and title of the focused window's top-level window.
  TargetWindow focused_target() override;
  std::optional<std::u16string> clipboard_text() override;
  NumberFormat number_format() override;

  void begin_typing(std::u16string_view text, TypingMode mode,
                    std::function<bool()> keep_typing) override;
  void end_typing() override;
  std::optional<KeyLocation> locate(char32_t ch) override;
  std::optional<DeadKeySequence> dead_key_sequence(char32_t ch) override;
  std::optional<char32_t> key_character(Key key) override;
  // Sends what is queued, then sleeps.
  void pause(std::chrono::milliseconds time) override;
  unsigned held_modifiers() override;
  void send_key(Key key, bool up) override;
  void send_layout_key(std::uint32_t key, bool up) override;
  bool send_character(char32_t ch) override;

  Point cursor_position() override;
  void set_cursor_position(Point point) override;
  void left_button(bool up) override;
  void send_right_double_click(WindowHandle window) override;
  std::uint8_t post_code(char16_t ch) override;
  void post_character(WindowHandle window, std::uint8_t code) override;

  // The last resort for a run-time error: releases the hotkey, then shows the
  // standard error message box.
  void show_last_resort_error(const std::u16string &message);

private:
  explicit X11Platform(std::unique_ptr<Connection> connection);
  // Sets the time lent keycodes go back, if any are lent (from the event loop).
  void schedule_give_back();

  std::unique_ptr<Connection> connection_;
  EventLoop loop_;
  MainWindow window_;
  Hotkey hotkey_;
  HotkeyWatch hotkey_watch_;
  WindowEvents *events_ = nullptr;
  bool stop_handled_ = false;
  Clipboard clipboard_;
  Keyboard keyboard_;
  SyntheticEvents synthetic_;
  PasteRequestSource paste_requests_;
};

} // namespace teclix::x11
