// Teclix.exe: the Windows program.
#include <windows.h>

#include <new>

#include "platform/win32/win32_platform.h"
#include "typing/runtime_error.h"
#include "window/form1.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  teclix::Win32Platform platform(instance);
  teclix::Form1 form(platform);
  try {
    try {
      form.Load();
    } catch (const std::bad_alloc &) {
      throw teclix::RuntimeError(7, u"Memoria insuficiente");
    } catch (const teclix::RuntimeError &) {
      throw;
    } catch (const std::exception &) {
      throw teclix::RuntimeError(51, u"Error interno");
    }
  } catch (const teclix::RuntimeError &error) {
    // The last resort: say which error stopped the program, release F10 and end.
    form.Unload();
    platform.message_box(
        error.message(), u"Teclix",
        teclix::MessageBoxStyle{teclix::MessageBoxButtons::kOk, teclix::MessageBoxIcon::kError});
    return error.number();
  }
  return 0;
}
