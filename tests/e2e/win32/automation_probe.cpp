// Drives the automation helper operations through the real Windows backend, for the
// end-to-end tests. Results go to OUTPUT_FILE, one line each.
//
//   automation_probe.exe OUTPUT_FILE target TITLE X Y   a window that logs the mouse
//                                                       messages it gets
//   automation_probe.exe OUTPUT_FILE click X Y          Clickear(X, Y); logs the pointer
//                                                       before and after
//   automation_probe.exe OUTPUT_FILE rdbl TITLE         Enviar_Pulsacion to that window
//   automation_probe.exe OUTPUT_FILE box                BoxQues with Yes/No; logs the answer
//   automation_probe.exe OUTPUT_FILE text TITLE         Enviar_Texto to that window's first
//                                                       child control
//   automation_probe.exe OUTPUT_FILE hold-clipboard     keeps the clipboard open until killed
//   automation_probe.exe OUTPUT_FILE dpi                the backend's main window with its
//                                                       link, told the DPI went from 96 to
//                                                       144; logs its client size and the
//                                                       link's red pixels before and after
//   automation_probe.exe OUTPUT_FILE clipboard-wait     reads the clipboard through the
//                                                       backend; logs how long it took (ms)
//                                                       and whether it found text
//   automation_probe.exe OUTPUT_FILE set-units HEX...   puts these UTF-16 code units (hex,
//                                                       lone surrogates allowed) on the
//                                                       clipboard as text; stays until killed
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "helpers/automation.h"
#include "platform/win32/win32_platform.h"
#include "typing/unicode.h"
#include "window/form1.h"

namespace {

std::wstring g_output;

void log_line(const std::string &line) {
  FILE *file = _wfopen(g_output.c_str(), L"ab");
  if (file) {
    std::fprintf(file, "%s\n", line.c_str());
    std::fclose(file);
  }
}

LRESULT CALLBACK target_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  const auto where = [lparam] {
    return std::to_string(static_cast<short>(LOWORD(lparam))) + " " +
           std::to_string(static_cast<short>(HIWORD(lparam)));
  };
  switch (msg) {
  case WM_LBUTTONDOWN:
    log_line("left down " + where());
    return 0;
  case WM_LBUTTONUP:
    log_line("left up " + where());
    return 0;
  case WM_RBUTTONDBLCLK:
    log_line("right double click " + where());
    return 0;
  case WM_DESTROY:
    PostQuitMessage(0);
    return 0;
  default:
    return DefWindowProcW(hwnd, msg, wparam, lparam);
  }
}

int run_target(const wchar_t *title, int x, int y) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = target_proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
  wc.lpszClassName = L"TeclixProbeTarget";
  RegisterClassW(&wc);
  // No caption: the window's client area starts at (x, y).
  HWND hwnd = CreateWindowExW(0, wc.lpszClassName, title, WS_POPUP | WS_VISIBLE, x, y, 300, 200,
                              nullptr, nullptr, wc.hInstance, nullptr);
  if (!hwnd) {
    return 1;
  }
  log_line("ready");
  MSG msg{};
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return 0;
}

std::string point(teclix::Point p) {
  return std::to_string(p.x) + " " + std::to_string(p.y);
}

class NoEvents : public teclix::WindowEvents {
public:
  void on_close() override {}
  void on_background_mouse_move() override {}
  void on_link_mouse_move() override {}
  void on_link_click() override {}
  void on_paste_button_click() override {}
  void on_escape_key() override {}
  void on_hotkey_taken() override {}
  void on_session_changed() override {}
};

void pump() {
  MSG msg{};
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

// The client size, and the red pixels of the client area: their count and the
// rows of the first and last.
std::string client_and_red(HWND hwnd) {
  pump();
  UpdateWindow(hwnd);
  GdiFlush();
  RECT client{};
  GetClientRect(hwnd, &client);
  const int width = client.right;
  const int height = client.bottom;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void *bits = nullptr;
  HDC window_dc = GetDC(hwnd);
  HDC memory_dc = CreateCompatibleDC(window_dc);
  HBITMAP bitmap = CreateDIBSection(window_dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory_dc, bitmap);
  BitBlt(memory_dc, 0, 0, width, height, window_dc, 0, 0, SRCCOPY);
  GdiFlush();
  int red = 0;
  int first = -1;
  int last = -1;
  const auto *pixels = static_cast<const std::uint32_t *>(bits);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      if ((pixels[y * width + x] & 0xFFFFFF) == 0xFF0000) {
        ++red;
        first = first < 0 ? y : first;
        last = y;
      }
    }
  }
  SelectObject(memory_dc, old);
  DeleteObject(bitmap);
  DeleteDC(memory_dc);
  ReleaseDC(hwnd, window_dc);
  return "client " + std::to_string(width) + "x" + std::to_string(height) + " red " +
         std::to_string(red) + " rows " + std::to_string(first) + "-" + std::to_string(last);
}

} // namespace

int wmain(int argc, wchar_t **argv) {
  if (argc < 3) {
    return 2;
  }
  g_output = argv[1];
  const std::wstring mode = argv[2];
  if (mode == L"target" && argc == 6) {
    return run_target(argv[3], _wtoi(argv[4]), _wtoi(argv[5]));
  }

  if (mode == L"hold-clipboard") {
    // Opened for a window: Wine lets others in while no window holds it.
    HWND owner = CreateWindowExW(0, L"STATIC", L"clipboard holder", 0, 0, 0, 10, 10, nullptr,
                                 nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!OpenClipboard(owner)) {
      return 1;
    }
    log_line("holding");
    Sleep(INFINITE);
  }

  if (mode == L"set-units" && argc >= 4) {
    std::vector<wchar_t> units;
    for (int i = 3; i < argc; ++i) {
      units.push_back(static_cast<wchar_t>(std::wcstoul(argv[i], nullptr, 16)));
    }
    units.push_back(L'\0');
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, units.size() * sizeof(wchar_t));
    if (!memory) {
      return 1;
    }
    std::memcpy(GlobalLock(memory), units.data(), units.size() * sizeof(wchar_t));
    GlobalUnlock(memory);
    HWND owner = CreateWindowExW(0, L"STATIC", L"clipboard owner", 0, 0, 0, 10, 10, nullptr,
                                 nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!OpenClipboard(owner) || !EmptyClipboard() || !SetClipboardData(CF_UNICODETEXT, memory)) {
      return 1;
    }
    CloseClipboard();
    log_line("set");
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
      DispatchMessageW(&msg);
    }
    return 0;
  }

  teclix::Win32Platform platform(GetModuleHandleW(nullptr));
  teclix::Form1 form(platform);
  if (mode == L"dpi") {
    NoEvents events;
    HWND hwnd = reinterpret_cast<HWND>(platform.create_main_window(events));
    platform.set_link(reinterpret_cast<std::uintptr_t>(hwnd), u"www.teclix.example");
    SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE);
    platform.show_window(reinterpret_cast<std::uintptr_t>(hwnd));
    log_line("96 dpi " + client_and_red(hwnd));
    // What the system suggests at 144 DPI: the client area scaled, in place.
    RECT suggested{0, 0, MulDiv(432, 144, 96), MulDiv(167, 144, 96)};
    AdjustWindowRectEx(&suggested, static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE)), FALSE, 0);
    OffsetRect(&suggested, -suggested.left, -suggested.top);
    SendMessageW(hwnd, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    log_line("144 dpi " + client_and_red(hwnd));
    DestroyWindow(hwnd);
    return 0;
  }
  if (mode == L"clipboard-wait") {
    const ULONGLONG started = GetTickCount64();
    const bool text = platform.clipboard_text().has_value();
    log_line("waited " + std::to_string(GetTickCount64() - started));
    log_line(text ? "text" : "no text");
    return 0;
  }
  if (mode == L"click" && argc == 5) {
    log_line("pointer before " + point(platform.cursor_position()));
    form.Clickear(_wtoi(argv[3]), _wtoi(argv[4]));
    log_line("pointer after " + point(platform.cursor_position()));
    return 0;
  }
  if (mode == L"rdbl" && argc == 4) {
    HWND target = FindWindowW(nullptr, argv[3]);
    form.Enviar_Pulsacion(reinterpret_cast<std::uintptr_t>(target));
    log_line("sent");
    return 0;
  }
  if (mode == L"box") {
    const std::int16_t answer = form.BoxQues(u"¿Desea continuar?", 4, u"Pregunta de Teclix");
    log_line("answer " + std::to_string(answer));
    return 0;
  }
  if (mode == L"text" && argc == 4) {
    HWND target = GetWindow(FindWindowW(nullptr, argv[3]), GW_CHILD);
    std::uint8_t key = 0;
    teclix::post_text(platform, reinterpret_cast<std::uintptr_t>(target), u"Año: ÑANDÚ, 5 €\r\nfin",
                      key);
    log_line("key " + std::to_string(key));
    return 0;
  }
  return 2;
}
