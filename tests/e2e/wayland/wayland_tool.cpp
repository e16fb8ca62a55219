// A second keyboard for the Wayland tests, as a user's own would be: it holds
// Shift for a while and then types a letter with it.
//   wayland_tool hold-shift SECONDS LETTER
// prints "held" once Shift is down.
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "platform/wayland/wayland_keyboard.h"

int main(int argc, char **argv) {
  using namespace teclix;
  if (argc != 4 || std::string(argv[1]) != "hold-shift" || std::string(argv[3]).size() != 1) {
    std::fprintf(stderr, "usage: wayland_tool hold-shift SECONDS LETTER\n");
    return 2;
  }
  std::unique_ptr<wayland::Connection> connection = wayland::Connection::open();
  std::unique_ptr<wayland::VirtualKeyboard> keyboard =
      connection ? wayland::VirtualKeyboard::create(*connection) : nullptr;
  if (!keyboard) {
    std::fprintf(stderr, "wayland_tool: no virtual keyboard\n");
    return 1;
  }
  const char32_t letter = static_cast<unsigned char>(argv[3][0]);
  keyboard->begin_typing(std::u16string(1, static_cast<char16_t>(letter)), TypingMode::kDirect, {});
  const std::optional<KeyLocation> key = keyboard->locate(letter);
  if (!key) {
    return 1;
  }
  keyboard->send_key(Key::kLeftShift, false);
  connection->roundtrip();
  std::printf("held\n");
  std::fflush(stdout);
  std::this_thread::sleep_for(std::chrono::duration<double>(std::stod(argv[2])));
  keyboard->send_layout_key(key->key, false);
  keyboard->send_layout_key(key->key, true);
  keyboard->send_key(Key::kLeftShift, true);
  keyboard->end_typing();
  return 0;
}
