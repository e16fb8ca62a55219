// Teclix in a Wayland session: its window, F10 and message boxes through
// Xwayland, its keys through the compositor's virtual keyboard, or else the
// desktop portal's remote-desktop session (X11 windows still get theirs through
// X11), its clipboard through data control where the compositor offers it.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include "platform/platform.h"
#include "platform/wayland/portal_keyboard.h"
#include "platform/wayland/portal_shortcut.h"
#include "platform/wayland/sway_ipc.h"
#include "platform/wayland/wayland_clipboard.h"
#include "platform/wayland/wayland_connection.h"
#include "platform/wayland/wayland_keyboard.h"
#include "platform/x11/x11_platform.h"

namespace teclix::wayland {

// The window handle that stands for a Wayland window (never an X11 id).
inline constexpr WindowHandle kWaylandWindow = WindowHandle{1} << 62;

class WaylandSession : public DesktopSession,
                       public PasteTriggers,
                       public ClipboardService,
                       public KeyboardOutput {
public:
  // nullptr when this is no Wayland session whose compositor offers a virtual
  // keyboard or whose desktop offers the remote-desktop portal: then the X11
  // parts are used as they are.
  static std::unique_ptr<WaylandSession> open(x11::X11Platform &x11);
  ~WaylandSession() override;

  // The program's parts: the X11 ones (the window, message boxes, launcher,
  // automation) but for these.
  Platform parts();

  // An X11 window's id, a Wayland window's kWaylandWindow (with the compositor's
  // number for it where it says which), 0 for none.
  WindowHandle focused_control() override;
  TargetWindow focused_target() override;
  // Says which way the keys, the clipboard and F10 go here.
  SessionState session_state() override;
  // A virtual keyboard's or the portal's keys reach every window of the session.
  TargetPrivilege target_privilege() override { return TargetPrivilege::kSameOrLower; }

  // F10 as X11 takes it, and through the desktop's global shortcuts where the
  // portal offers them.
  CallResult register_hotkey(Key key, unsigned modifiers) override;
  void unregister_hotkey() override;
  bool take_paste_press() override;

  std::optional<std::u16string> clipboard_text() override;

  // The keys go the way of the window that has the focus when the paste begins.
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

private:
  struct Focus {
    bool x11 = false;
    WindowHandle handle = 0;
    TargetWindow target;
  };
  WaylandSession(x11::X11Platform &x11, std::unique_ptr<Connection> connection);
  void session_changed();
  // Reads what comes on fd until read says its connection is gone; fd is then -1.
  void watch_while_open(int &fd, std::function<bool()> read);
  Focus focus();
  KeyboardOutput &keys();

  // Where the last press of F10 came from (kBoth: no half of it is awaited), and
  // when it came or its paste ended.
  enum class PressFrom { kBoth, kPortal, kX11 };
  static constexpr std::chrono::milliseconds kOnePress{1000};
  PressFrom last_press_from_ = PressFrom::kBoth;
  std::chrono::steady_clock::time_point last_press_at_;

  x11::X11Platform &x11_;
  DescriptorWatch &watch_; // the X11 parts' loop, which the session's descriptors join
  std::unique_ptr<Connection> connection_;
  std::unique_ptr<KeyboardOutput> keyboard_;
  PortalKeyboard *portal_ = nullptr;      // keyboard_, when it is the portal's
  int portal_fd_ = -1, shortcut_fd_ = -1; // the buses' descriptors while watched
  int input_fd_ = -1;                     // the emulated-input connection's, while watched
  bool input_watched_ = false;            // it was watched once (a closed one is not again)
  std::unique_ptr<PortalShortcut> shortcut_;
  std::unique_ptr<DataControlClipboard> clipboard_;
  SwayIpc sway_;
  KeyboardOutput *typing_with_ = nullptr;
  bool connection_lost_ = false;
};

} // namespace teclix::wayland
