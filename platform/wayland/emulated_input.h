// A keyboard of the compositor's emulated-input server (EIS), spoken through
// libei: the remote-desktop portal hands the socket over (ConnectToEIS), and the
// server tells the keyboard's keymap and its modifier and layout state. libei is
// loaded when the program starts typing through it, so that the same program
// runs where it is missing (Debian 12): the desktops that offer emulated input
// are the ones that ship it.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace teclix::wayland {

class EmulatedInput {
public:
  enum class State {
    kConnecting, // waiting for the server's seat and keyboard
    kReady,      // the keyboard takes keys
    kRefused,    // the server disconnected, or gave no keyboard, before any key
    kClosed,     // the server disconnected after that
  };
  // The keyboard's modifier state as the server last reported it (xkb masks).
  struct Modifiers {
    std::uint32_t depressed = 0, latched = 0, locked = 0, group = 0;
  };

  // Whether libei could be loaded (once; the answer is kept).
  static bool available();
  // Speaks to the server on fd (taken over); nullptr when libei is missing or
  // the server has closed the socket already.
  static std::unique_ptr<EmulatedInput> connect(int fd);
  ~EmulatedInput();

  State state() const { return state_; }
  int fd() const;
  // Reads what the server sent. false once the connection is over.
  bool dispatch();
  // Dispatches until the keyboard is ready or the time is up.
  bool wait_ready(std::chrono::milliseconds time);
  // The keymap's text (XKB) and whether it changed since the last call.
  std::optional<std::string> take_keymap();
  // The modifier state, once the server has reported one (mutter does on every
  // change; KWin 6.3 never does).
  const std::optional<Modifiers> &modifiers() const { return modifiers_; }

  // One key event, by evdev keycode, in a frame of its own.
  void key(std::uint32_t evdev_code, bool press);
  // Sends what is queued and waits until the server has handled it (a ping's
  // pong), at most the given time. false when the connection is over.
  bool roundtrip(std::chrono::milliseconds time = std::chrono::seconds(2));

private:
  struct Library;
  EmulatedInput(const Library &library, void *context);
  void handle(void *event);
  void set_closed(const char *why);
  // Dispatches until done() or the time is up; done() at the end.
  bool wait_until(const std::function<bool()> &done, std::chrono::milliseconds time);

  const Library &lib_;
  void *ei_;
  void *seat_ = nullptr;
  void *device_ = nullptr;
  State state_ = State::kConnecting;
  bool emulating_ = false;
  std::uint32_t sequence_ = 0;
  std::optional<std::string> keymap_;
  std::optional<Modifiers> modifiers_;
  void *ping_ = nullptr;
  bool pong_ = false;
};

} // namespace teclix::wayland
