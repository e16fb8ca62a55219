// A scriptable stand-in for the operating system, for the unit tests.
//
// Tests queue hotkey presses and close requests, set the clipboard, the focus and
// the keyboard layout, and read back every key event as text ("+Shift +A -A -Shift")
// and the text a target window would have received from those events.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace teclix {

// One key of a fake layout and the characters its levels produce (0 = none).
struct FakeKey {
  std::uint32_t key = 0; // the fake's key number: a Key value
  std::string name;
  char32_t base = 0, shift = 0, altgr = 0, shift_altgr = 0;
  bool caps = false; // Caps Lock swaps its base and shift levels
};

struct FakeLayout {
  std::string name;
  std::vector<FakeKey> keys;
  std::u32string dead; // characters whose key is a dead key
};

FakeLayout fake_layout_us();
FakeLayout fake_layout_es();
FakeLayout fake_layout_de();
FakeLayout fake_layout_fr();

// What arrives in one wait. Idle: nothing, until the time the loop waits for
// (the clock moves there). ButtonClick, Escape: the user clicks the window's paste
// button, presses Esc in it. HotkeyTaken: F10 went to another program. Switch:
// the user clicks into another window (the focus becomes switch_to).
// SwitchElevated: the same, into a window whose program runs as administrator.
// SessionChanged: the session's state becomes session_after.
enum class FakeEvent {
  Hotkey,
  Close,
  Timer,
  Idle,
  ButtonClick,
  Escape,
  HotkeyTaken,
  Switch,
  SwitchElevated,
  SessionChanged
};

class FakePlatform : public AllParts {
public:
  FakePlatform();

  // --- Script -----------------------------------------------------------------
  std::deque<FakeEvent> script; // events still to come, one per wait
  std::deque<FakeEvent> queued; // events that have arrived and wait in the queue
  std::optional<std::u16string> clipboard;
  WindowHandle focus = 0x1234;
  NumberFormat format;
  FakeLayout layout = fake_layout_us();
  bool hotkey_taken = false;          // another program holds the hotkey
  char16_t keypad_decimal = u',';     // what the target writes for the keypad decimal key
  std::function<void()> on_wait;      // runs at the start of every wait
  std::function<void()> on_key_event; // runs after every key event sent
                                      // (it may push to queued: a press during a paste)
  BoxAnswer message_box_answer = BoxAnswer::kOk;
  SessionState session; // how keys go in the session
  SessionState session_after;
  TargetWindow target{u"editor", u"Editor", u"Sin título"};
  WindowHandle switch_to = 0x5678;                           // where a Switch event moves the focus
  TargetPrivilege privilege = TargetPrivilege::kSameOrLower; // the focused window's program's
  static constexpr WindowHandle kMainWindow = 0x100;

  // Puts the target's keyboard in a state before typing starts.
  void hold(unsigned modifiers);
  void set_caps_lock(bool on) { caps_ = on; }

  // --- Observations -----------------------------------------------------------
  std::vector<std::string> log;   // one entry per key event or character
  std::u16string typed;           // what the focused control received
  std::vector<std::string> calls; // window and hotkey calls, in order
  std::u16string instruction;
  std::u16string caption;
  std::u16string link;
  std::u16string button;
  std::vector<std::u16string> shown_texts;       // every instruction text set, in order
  std::chrono::steady_clock::time_point clock{}; // the fake's own time
  std::vector<Rgb> link_colors;                  // every colour set, in order
  std::vector<std::u16string> opened;            // addresses opened
  Point cursor{10, 20};
  std::vector<std::uint8_t> posted; // characters posted to other windows
  bool shown = false;
  int waits = 0;
  int pastes_started = 0;                // begin_typing calls
  int pastes_ended = 0;                  // end_typing calls
  TypingMode mode = TypingMode::kDirect; // of the last begin_typing
  std::chrono::milliseconds paused{0};   // all pauses together
  std::size_t unpaused_events = 0;       // key events with no pause since the one before
  struct TimedKeyEvent {
    std::string event; // as in the log
    bool modifier;
    std::chrono::milliseconds gap; // the time paused since the key event before
  };
  std::vector<TimedKeyEvent> key_events;
  std::string joined_log() const; // the log as one line
  unsigned modifiers_now() const; // modifiers down in the target now
  bool caps_now() const { return caps_; }

  // --- Platform ---------------------------------------------------------------
  WindowHandle create_main_window(WindowEvents &events) override;
  void show_window(WindowHandle window) override;
  void set_caption(WindowHandle, const std::u16string &text) override { caption = text; }
  void set_instruction(WindowHandle window, const std::u16string &text) override;
  void set_link(WindowHandle, const std::u16string &text) override { link = text; }
  void set_button(WindowHandle, const std::u16string &text) override { button = text; }
  void set_link_color(WindowHandle window, Rgb color) override;
  void open_address(const std::u16string &address) override;
  SessionState session_state() override { return session; }
  TargetPrivilege target_privilege() override { return privilege; }
  BoxAnswer message_box(const std::u16string &prompt, const std::u16string &title,
                        const MessageBoxStyle &style) override;
  CallResult register_hotkey(Key key, unsigned modifiers) override;
  void unregister_hotkey() override;
  void wait_message() override;
  void wait_message_until(std::chrono::steady_clock::time_point until) override;
  std::chrono::steady_clock::time_point now() override { return clock; }
  bool take_paste_press() override;
  void pump_events() override;
  WindowHandle focused_control() override { return focus; }
  TargetWindow focused_target() override { return target; }
  std::optional<std::u16string> clipboard_text() override { return clipboard; }
  NumberFormat number_format() override { return format; }
  void begin_typing(std::u16string_view text, TypingMode typing_mode,
                    std::function<bool()> keep_typing) override;
  void end_typing() override;
  std::optional<KeyLocation> locate(char32_t ch) override;
  std::optional<DeadKeySequence> dead_key_sequence(char32_t ch) override;
  std::optional<char32_t> key_character(Key key) override;
  void pause(std::chrono::milliseconds time) override;
  unsigned held_modifiers() override { return modifiers_now(); }
  void send_key(Key key, bool up) override;
  void send_layout_key(std::uint32_t key, bool up) override;
  bool send_character(char32_t ch) override;
  Point cursor_position() override { return cursor; }
  void set_cursor_position(Point point) override;
  void left_button(bool up) override;
  void send_right_double_click(WindowHandle window) override;
  std::uint8_t post_code(char16_t ch) override;
  void post_character(WindowHandle window, std::uint8_t code) override;

private:
  void key_event(Key key, bool up);
  void emit(char32_t ch);
  void emit(const std::string &marker);

  WindowEvents *window_events_ = nullptr;
  std::set<Key> down_;
  bool caps_ = false;
  char32_t pending_dead_ = 0; // a dead key pressed, waiting for the next key
  bool paused_since_event_ = true;
  std::chrono::milliseconds gap_{0};
};

} // namespace teclix
