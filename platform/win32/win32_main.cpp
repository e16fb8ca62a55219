// Teclix.exe: the Windows program.
#include <windows.h>

#include "platform/win32/win32_platform.h"
#include "typing/runtime_error.h"
#include "window/form1.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  teclix::Win32Platform platform(instance);
  teclix::Form1 form(platform);
  if (const auto error = teclix::run_to_the_end([&] { form.Load(); })) {
    // The last resort: say which error stopped the program, release F10 and end.
    form.Unload();
    platform.message_box(
        error->message(), u"Teclix",
        teclix::MessageBoxStyle{teclix::MessageBoxButtons::kOk, teclix::MessageBoxIcon::kError});
    return error->number();
  }
  return 0;
}
