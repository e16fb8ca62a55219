// The Windows backend: user32 for the window, hotkey, focus, clipboard and
// keyboard input, kernel32 for the locale.
#pragma once

#include <windows.h>

#include <bitset>
#include <functional>
#include <unordered_map>
#include <vector>

#include "platform/platform.h"

namespace teclix {

class Win32Platform : public AllParts {
public:
  explicit Win32Platform(HINSTANCE instance);
  ~Win32Platform() override;

  WindowHandle create_main_window(WindowEvents &events) override;
  void show_window(WindowHandle window) override;
  void set_caption(WindowHandle window, const std::u16string &text) override;
  void set_instruction(WindowHandle window, const std::u16string &text) override;
  void set_link(WindowHandle window, const std::u16string &text) override;
  void set_button(WindowHandle window, const std::u16string &text) override;
  void set_link_color(WindowHandle window, Rgb color) override;
  void open_address(const std::u16string &address) override;
  SessionState session_state() override { return {}; }
  // The foreground window's process's integrity level against this one's.
  TargetPrivilege target_privilege() override;
  BoxAnswer message_box(const std::u16string &prompt, const std::u16string &title,
                        const MessageBoxStyle &style) override;
  CallResult register_hotkey(Key key, unsigned modifiers) override;
  void unregister_hotkey() override;
  void wait_message() override;
  void wait_message_until(std::chrono::steady_clock::time_point until) override;
  bool take_paste_press() override;
  void pump_events() override;
  WindowHandle focused_control() override;
  std::optional<std::u16string> clipboard_text() override;
  NumberFormat number_format() override;
  TargetWindow focused_target() override;
  void begin_typing(std::u16string_view text, TypingMode mode,
                    std::function<bool()> keep_typing) override;
  void end_typing() override;
  std::optional<KeyLocation> locate(char32_t ch) override;
  std::optional<DeadKeySequence> dead_key_sequence(char32_t ch) override;
  std::optional<char32_t> key_character(Key key) override;
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

private:
  // The Caps Lock toggle, which the key chosen for each character allows for.
  bool caps_lock_on();
  static LRESULT CALLBACK window_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
  LRESULT handle(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
  HKL focused_layout() const;
  int translate(BYTE vk, BYTE shift, wchar_t *out, UINT flags) const;
  wchar_t produces(BYTE vk, BYTE shift) const;
  std::optional<KeyLocation> locate_direct(wchar_t ch);
  std::optional<KeyLocation> locate_console(wchar_t ch);
  void find_dead_keys();
  void clear_dead_key_state() const;
  void paint(HWND hwnd);
  void scale_contents();
  void layout_link();
  int scaled(int pixels_at_96_dpi) const;
  bool over_link(LPARAM lparam) const;
  bool over_button(LPARAM lparam) const;
  // Raw keyboard input, also while another program has the focus: a press of the
  // hotkey's key that brings no hotkey message went to a program whose low-level
  // hook swallowed it.
  void watch_raw_keys(bool on);
  void on_raw_input(HRAWINPUT input);
  void check_hotkey_presses();
  INPUT key_input(WORD vk, bool up) const;
  void queue_key(WORD vk, bool up);
  void flush();

  HINSTANCE instance_;
  HWND window_ = nullptr;
  int dpi_ = 96;
  HFONT instruction_font_ = nullptr;
  HFONT link_font_ = nullptr;
  std::u16string instruction_;
  std::u16string link_;
  std::u16string button_; // the paste button's caption
  RECT button_rect_{};
  bool button_pressed_ = false;
  UINT hotkey_vk_ = 0;            // the hotkey's key, watched in raw input
  UINT hotkey_mods_ = 0;          // and its MOD_ bits
  ULONGLONG hotkey_taken_at_ = 0; // when the last hotkey message was taken
  ULONGLONG raw_press_at_ = 0;    // when a raw press not yet decided on came
  COLORREF link_color_ = RGB(255, 0, 0);
  RECT link_rect_{};
  RECT instruction_rect_{};
  bool link_pressed_ = false;
  WindowEvents *events_ = nullptr;
  HKL layout_ = nullptr;
  bool caps_lock_ = false; // Caps Lock's toggle when the text began
  bool typing_ = false;
  std::function<bool()> keep_typing_; // the core's decision to go on with the text
  bool focus_lost_ = false;           // it said no: the rest of the text is dropped
  std::bitset<256> down_;             // keys pressed by us and not yet let go of
  std::bitset<256> right_hand_; // right-hand modifier keys the user held, let go of for the text
  std::vector<INPUT> pending_;
  std::unordered_map<char32_t, std::optional<KeyLocation>> located_;
  // Console typing: the layout's dead keys (found once per paste) and the
  // sequences found for characters.
  struct DeadKey {
    KeyLocation key;
    wchar_t accent = 0; // the accent it types before a space
  };
  TypingMode mode_ = TypingMode::kDirect;
  bool dead_keys_found_ = false;
  bool layout_composes_ = true; // the layout's own answers combine dead keys
  std::vector<DeadKey> dead_keys_;
  std::unordered_map<char32_t, std::optional<DeadKeySequence>> sequences_;
};

// The system's description of an error code, for messages.
std::u16string system_error_text(DWORD code);

} // namespace teclix
