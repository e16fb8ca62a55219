// The one seam between Teclix and the operating system.
//
// The core (typing/, window/, helpers/) talks to the system only through this
// interface, a few small parts that a program puts together: Teclix.exe from
// win32/; the Linux teclix from x11/, and in a Wayland session from wayland/'s
// parts with x11/'s (the window through Xwayland, the keys through the
// compositor or the desktop portal). The unit tests use the scriptable fake in
// fake/.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace teclix {

// An opaque window handle. 0 means no window.
using WindowHandle = std::uint64_t;

// How the user's locale writes numbers.
struct NumberFormat {
  std::u16string decimal = u".";
  std::u16string grouping = u",";
  std::u16string negative = u"-";
};

// How the keys, the clipboard and F10 go in the desktop session.
struct SessionState {
  enum class Keys {
    kEverywhere,      // into every window (X11, Windows)
    kX11WindowsOnly,  // a Wayland session typed into through X11 alone
    kVirtualKeyboard, // the compositor's virtual keyboard
    kPortalStarting,  // the desktop portal, not granted yet
    kPortal,          // the desktop portal: the keys of the active layout only
    kEmulatedInput,   // the desktop's emulated input, handed out by the portal
    kPortalRefused,   // the desktop did not grant it
    kPortalLost,      // the portal stopped answering
    kPortalClosed,    // the desktop withdrew it
    kCompositorLost,  // the connection to the compositor is gone
  };
  Keys keys = Keys::kEverywhere;
  bool wayland_clipboard = false; // read from the compositor (else through Xwayland)
  bool shortcut = false;          // F10 comes through the desktop's global shortcuts
  bool operator==(const SessionState &) const = default;
};

// Modifier keys, as bits of a set.
enum Modifier : unsigned {
  kShift = 1,
  kControl = 2,
  kAlt = 4,
  kAltGr = 8,
  kSuper = 16,
};

// The keys the program presses by name. Digits, letters, keypad digits and
// function keys come in ranges (see typing/keys.h); punctuation keys are named
// after what they type on a US keyboard, their place on any keyboard.
enum class Key : std::uint16_t {
  kBackspace = 1,
  kTab,
  kReturn,
  kPause,
  kCapsLock,
  kEscape,
  kSpace,
  kPageUp,
  kPageDown,
  kEnd,
  kHome,
  kLeft,
  kUp,
  kRight,
  kDown,
  kPrintScreen,
  kInsert,
  kDelete,
  kLeftSuper,
  kRightSuper,
  kMenu,
  kKeypadMultiply,
  kKeypadAdd,
  kKeypadSeparator,
  kKeypadSubtract,
  kKeypadDecimal,
  kKeypadDivide,
  kNumLock,
  kScrollLock,
  kLeftShift,
  kRightShift,
  kLeftControl,
  kRightControl,
  kLeftAlt,
  kAltGr,
  kSemicolon,
  kEquals,
  kComma,
  kMinus,
  kPeriod,
  kSlash,
  kBacktick,
  kLeftBracket,
  kBackslash,
  kRightBracket,
  kQuote,
  kLessThan,
  kDigit0 = 0x100,  // to kDigit0 + 9
  kA = 0x110,       // to kA + 25
  kKeypad0 = 0x130, // to kKeypad0 + 9
  kF1 = 0x140,      // to kF1 + 23
  kF10 = kF1 + 9,
};

// Where the current keyboard layout produces a character.
struct KeyLocation {
  std::uint32_t key = 0;  // the platform's own key number (virtual key or keycode)
  unsigned modifiers = 0; // Modifier bits to hold while the key is pressed
  bool dead = false;      // a dead key: on its own it only prepares an accent
};

// A dead key and the key after it that together type a character.
struct DeadKeySequence {
  KeyLocation dead;
  KeyLocation base;
};

// How a text is typed.
enum class TypingMode {
  // Any key of the layout, and the character itself where no key types it, at
  // full speed.
  kDirect,
  // As a keyboard would type it, for a virtual-machine or remote console that
  // reads scan codes: real keys of the main block only, dead keys where the
  // layout needs them, paced.
  kConsole,
};

// The window the user is typing into: its program (an executable's file name on
// Windows, the WM_CLASS instance on X11), its class and its title.
struct TargetWindow {
  std::u16string program;
  std::u16string window_class;
  std::u16string title;
};

// How the program of the window typed into stands to this one. Windows drops,
// without a word, synthetic keys sent to a program of a higher integrity level
// (one run as administrator, when this one is not).
enum class TargetPrivilege {
  kSameOrLower, // the keys arrive
  kHigher,      // the system drops the keys: nothing is typed, the user is told why
  kUnknown,     // could not be read: typed as any other window
};

// The outcome of a platform call that can fail in a way the user must hear of.
struct CallResult {
  bool ok = true;
  std::u16string reason; // the system's own words when !ok
};

// A point on the screen, in pixels.
struct Point {
  std::int32_t x = 0;
  std::int32_t y = 0;
  bool operator==(const Point &) const = default;
};

// Window events, delivered by the platform while it pumps events.
class WindowEvents {
public:
  virtual ~WindowEvents() = default;
  // The user asked to close the window; it closes once this returns.
  virtual void on_close() = 0;
  // The pointer moved over the window's background, or over the link label.
  virtual void on_background_mouse_move() = 0;
  virtual void on_link_mouse_move() = 0;
  // The link label was clicked.
  virtual void on_link_click() = 0;
  // The paste button was clicked.
  virtual void on_paste_button_click() = 0;
  // Esc was pressed while the window had the keyboard focus.
  virtual void on_escape_key() = 0;
  // The hotkey was pressed but went to another program, one that holds the whole
  // keyboard (a virtual machine's window, say); only backends that can see such a
  // press report it.
  virtual void on_hotkey_taken() = 0;
  // What session_state() says has changed (a desktop granted or withdrew what
  // the program types with).
  virtual void on_session_changed() = 0;
};

// What a message box shows: its buttons, its icon, and which button starts with
// the focus (0 for the first).
enum class MessageBoxButtons {
  kOk,
  kOkCancel,
  kAbortRetryIgnore,
  kYesNoCancel,
  kYesNo,
  kRetryCancel
};
enum class MessageBoxIcon { kNone, kError, kQuestion, kWarning, kInformation };
struct MessageBoxStyle {
  MessageBoxButtons buttons = MessageBoxButtons::kOk;
  MessageBoxIcon icon = MessageBoxIcon::kNone;
  int default_button = 0;
  bool operator==(const MessageBoxStyle &) const = default;
};

// The button that closed a message box.
enum class BoxAnswer { kOk, kCancel, kAbort, kRetry, kIgnore, kYes, kNo };

// A colour.
struct Rgb {
  std::uint8_t red = 0, green = 0, blue = 0;
  bool operator==(const Rgb &) const = default;
};

// The program's window and its loop, and what the user's session says: where the
// focus is, how numbers are written.
class WindowSystem {
public:
  virtual ~WindowSystem() = default;
  virtual WindowHandle create_main_window(WindowEvents &events) = 0;
  virtual void show_window(WindowHandle window) = 0;
  virtual void set_caption(WindowHandle window, const std::u16string &text) = 0;
  // Sets the instruction text of the window.
  virtual void set_instruction(WindowHandle window, const std::u16string &text) = 0;
  // Sets the link label's text; the label sizes itself to fit it.
  virtual void set_link(WindowHandle window, const std::u16string &text) = 0;
  // Sets the caption of the window's button (the paste after a countdown).
  virtual void set_button(WindowHandle window, const std::u16string &text) = 0;
  virtual void set_link_color(WindowHandle window, Rgb color) = 0;
  // Blocks until a new event arrives for this program.
  virtual void wait_message() = 0;
  // The same, but returns at the given time if nothing arrived before.
  virtual void wait_message_until(std::chrono::steady_clock::time_point until) = 0;
  // The clock the waits go by.
  virtual std::chrono::steady_clock::time_point now() { return std::chrono::steady_clock::now(); }
  // Dispatches every queued event, then returns.
  virtual void pump_events() = 0;
  virtual NumberFormat number_format() = 0;
};

// The desktop session around the program: which window has the focus, and how
// keys, the clipboard and F10 go in it.
class DesktopSession {
public:
  virtual ~DesktopSession() = default;
  // The control with the keyboard focus in the foreground window, or 0.
  virtual WindowHandle focused_control() = 0;
  // The foreground window the keys go to.
  virtual TargetWindow focused_target() = 0;
  // How keys, the clipboard and F10 go, for the window to tell the user.
  virtual SessionState session_state() = 0;
  // Whether the foreground window's program would receive the keys this program
  // sends (X11 and Wayland have no such barrier: never kHigher there).
  virtual TargetPrivilege target_privilege() = 0;
};

// What starts a paste: the global hotkey, held for the program's window, and
// whatever else the program listens to (a socket, a desktop's shortcut).
class PasteTriggers {
public:
  virtual ~PasteTriggers() = default;
  // Holds a key with exactly these Modifier bits. Fails when another program holds it.
  virtual CallResult register_hotkey(Key key, unsigned modifiers) = 0;
  virtual void unregister_hotkey() = 0;
  // Takes at most one pending request to paste (a press of the hotkey, or one
  // that came another way); true if one was taken.
  virtual bool take_paste_press() = 0;
};

class ClipboardService {
public:
  virtual ~ClipboardService() = default;
  // The clipboard's text; nullopt when it holds no text or cannot be read in time.
  virtual std::optional<std::u16string> clipboard_text() = 0;
};

// The keyboard layout of the window typed into, and synthetic key events.
class KeyboardOutput {
public:
  virtual ~KeyboardOutput() = default;
  // Called before a text is typed, with the whole text, and after it.
  // The backend reads the focused window's layout here and may prepare keys
  // for characters the layout lacks (never for a console). keep_typing is the
  // core's decision to go on (the focus has not moved); a backend that holds key
  // events back asks it before it sends them, and drops them once it says no.
  virtual void begin_typing(std::u16string_view text, TypingMode mode,
                            std::function<bool()> keep_typing) = 0;
  virtual void end_typing() = 0;
  // The key and modifiers that produce ch in the current layout, if any; for a
  // console, only a key of the main block.
  virtual std::optional<KeyLocation> locate(char32_t ch) = 0;
  // The dead key and base key of the main block that type ch, if the layout has them.
  virtual std::optional<DeadKeySequence> dead_key_sequence(char32_t ch) = 0;
  // The character a key types on the layout being typed into, with no modifier.
  virtual std::optional<char32_t> key_character(Key key) = 0;
  // Lets time pass between key events (a console's input path takes them at its pace).
  virtual void pause(std::chrono::milliseconds time) = 0;
  // Modifiers currently held down. (Caps Lock is the backend's to allow for in
  // locate(): it is never pressed.)
  virtual unsigned held_modifiers() = 0;
  // One key event of a named key (the backend adds the scan code). A modifier's
  // release lets go of every key that holds that modifier.
  virtual void send_key(Key key, bool up) = 0;
  // One key event for a key returned by locate().
  virtual void send_layout_key(std::uint32_t key, bool up) = 0;
  // Types one character that no plain key of the layout produces; false when it
  // cannot be typed here at all (it is left out, and said).
  virtual bool send_character(char32_t ch) = 0;
};

class MessageBoxes {
public:
  virtual ~MessageBoxes() = default;
  // A modal message box over the program's window; the button pressed.
  virtual BoxAnswer message_box(const std::u16string &prompt, const std::u16string &title,
                                const MessageBoxStyle &style) = 0;
};

class Launcher {
public:
  virtual ~Launcher() = default;
  // Opens a web address in the user's browser, without waiting for it.
  virtual void open_address(const std::u16string &address) = 0;
};

// The pointer and messages to other windows, for the automation helpers.
class Automation {
public:
  virtual ~Automation() = default;
  virtual Point cursor_position() = 0;
  virtual void set_cursor_position(Point point) = 0;
  // One event of the left mouse button, where the pointer is.
  virtual void left_button(bool up) = 0;
  // A right-button double click delivered to the window; returns once it is handled.
  virtual void send_right_double_click(WindowHandle window) = 0;
  // The one-byte code of ch in the code page post_character is read in ('?' when
  // that code page has no single byte for it).
  virtual std::uint8_t post_code(char16_t ch) = 0;
  // Posts one character, a code from post_code, to the window as typed text.
  virtual void post_character(WindowHandle window, std::uint8_t code) = 0;
};

// A program's parts, put together by its backend's factory; a backend may take
// some of them from another (a window through Xwayland, keys through Wayland).
// Descriptors the main loop watches beside the window's events, where the system
// has them (Linux: the compositor's connection, the session bus, the socket that
// "teclix --paste" asks through). Not one of Platform's parts: the core never
// watches anything itself.
class DescriptorWatch {
public:
  virtual ~DescriptorWatch() = default;
  // Runs readable whenever fd has data (or has hung up); when it returns true,
  // the wait for events returns too. A descriptor closed while watched is dropped.
  virtual void watch(int fd, std::function<bool()> readable) = 0;
  virtual void unwatch(int fd) = 0;
};

struct Platform {
  WindowSystem &window;
  DesktopSession &desktop;
  PasteTriggers &hotkey;
  ClipboardService &clipboard;
  KeyboardOutput &keyboard;
  MessageBoxes &boxes;
  Launcher &launcher;
  Automation &automation;
};

// A backend that provides every part itself.
class AllParts : public WindowSystem,
                 public DesktopSession,
                 public PasteTriggers,
                 public ClipboardService,
                 public KeyboardOutput,
                 public MessageBoxes,
                 public Launcher,
                 public Automation {
public:
  Platform parts() { return Platform{*this, *this, *this, *this, *this, *this, *this, *this}; }
  operator Platform() { return parts(); }
};

} // namespace teclix
