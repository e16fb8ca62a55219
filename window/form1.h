// The main window. The program lives exactly as long as it is open.
#pragma once

#include <string>

#include "platform/platform.h"

namespace teclix {

class Form1 : public WindowEvents {
public:
  explicit Form1(Platform &platform);

  // The load event: sets the captions, holds F10 and runs the loop until the
  // window closes.
  void Load();
  // The unload event: stops the loop and releases F10.
  void Unload();

  void on_close() override { Unload(); }

  WindowHandle handle() const { return window_; }
  bool finalizar() const { return Finalizar; }
  bool hotkey_held() const { return hotkey_held_; }
  const std::u16string &instruction() const { return instruction_; }

private:
  Platform &platform_;
  WindowHandle window_ = 0;
  bool Finalizar = false;
  bool hotkey_held_ = false;
  std::u16string instruction_;
};

// The instruction shown while F10 works.
extern const std::u16string kInstruction;
// Shown in its place when another program holds F10.
std::u16string hotkey_in_use_notice(const std::u16string &reason);

} // namespace teclix
