// A Windows target for the end-to-end tests: a window whose multiline edit control
// holds the keyboard focus and whose text is written, as UTF-8, to a file whenever
// it changes. With --no-focus the window is active but no control has the focus,
// and every key message it receives is logged to the file instead. With --chars the
// window itself has the focus and keeps the characters its key messages translate
// to, as an edit control would store them (Enter as CR LF): Wine's edit control takes
// several milliseconds a character, too slow for very long texts. The number of
// Caps Lock key presses the window has received is kept in OUTPUT_FILE.caps.
//
//   edit_target.exe OUTPUT_FILE [--no-focus | --chars] [--title TITLE] [--at X Y]
#include <windows.h>

#include <string>

namespace {

constexpr UINT_PTR kSaveTimer = 1;

std::wstring g_output;
bool g_no_focus = false;
bool g_chars = false;
std::wstring g_text;
bool g_dirty = true;
HWND g_edit = nullptr;
std::string g_keys;
int g_caps_presses = 0;
ULONGLONG g_saved_at = 0;

std::string to_utf8(const std::wstring &text) {
  if (text.empty()) {
    return {};
  }
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                    0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                      nullptr, nullptr);
  return out;
}

// Replaces a file as a whole, so a reader never sees half a text.
void save(const std::string &bytes, const std::wstring &path = g_output) {
  const std::wstring temp = path + L".part";
  HANDLE file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return;
  }
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

void save_now() {
  if (g_no_focus) {
    save(g_keys);
    return;
  }
  if (g_chars) {
    save(to_utf8(g_text));
    return;
  }
  const int length = GetWindowTextLengthW(g_edit);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  GetWindowTextW(g_edit, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(length));
  save(to_utf8(text));
}

LRESULT CALLBACK window_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  switch (msg) {
  case WM_CREATE:
    if (!g_no_focus && !g_chars) {
      g_edit = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                               WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL |
                                   ES_WANTRETURN,
                               0, 0, 100, 100, hwnd, nullptr, nullptr, nullptr);
      SendMessageW(g_edit, EM_SETLIMITTEXT, 0x7FFFFFFE, 0);
    }
    SetTimer(hwnd, kSaveTimer, 50, nullptr);
    return 0;
  case WM_SIZE:
    if (g_edit) {
      MoveWindow(g_edit, 0, 0, LOWORD(lparam), HIWORD(lparam), TRUE);
    }
    return 0;
  case WM_ACTIVATE:
  case WM_SETFOCUS:
    if (g_no_focus) {
      SetFocus(nullptr);
    } else if (g_chars) {
      SetFocus(hwnd);
    } else if (g_edit) {
      SetFocus(g_edit);
    }
    return 0;
  case WM_COMMAND:
    if (HIWORD(wparam) == EN_CHANGE) {
      g_dirty = true;
    }
    return 0;
  case WM_CHAR:
    if (g_chars) {
      g_text +=
          wparam == L'\r' ? std::wstring(L"\r\n") : std::wstring(1, static_cast<wchar_t>(wparam));
      g_dirty = true;
      return 0;
    }
    [[fallthrough]];
  case WM_KEYDOWN:
  case WM_SYSKEYDOWN:
  case WM_SYSCHAR:
    if (g_no_focus && wparam != VK_F10) {
      g_keys += "message " + std::to_string(msg) + " key " + std::to_string(wparam) + "\n";
      g_dirty = true;
    }
    return DefWindowProcW(hwnd, msg, wparam, lparam);
  case WM_TIMER:
    if (g_dirty) {
      g_dirty = false;
      save_now();
      g_saved_at = GetTickCount64();
    }
    return 0;
  case WM_DESTROY:
    PostQuitMessage(0);
    return 0;
  default:
    return DefWindowProcW(hwnd, msg, wparam, lparam);
  }
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  int argc = 0;
  wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::wstring title = L"Teclix edit target";
  int x = 40;
  int y = 40;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (arg == L"--no-focus") {
      g_no_focus = true;
    } else if (arg == L"--chars") {
      g_chars = true;
    } else if (arg == L"--title" && i + 1 < argc) {
      title = argv[++i];
    } else if (arg == L"--at" && i + 2 < argc) {
      x = _wtoi(argv[++i]);
      y = _wtoi(argv[++i]);
    } else {
      g_output = arg;
    }
  }
  if (g_output.empty()) {
    return 2;
  }

  WNDCLASSW wc{};
  wc.lpfnWndProc = window_proc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
  wc.lpszClassName = L"TeclixEditTarget";
  RegisterClassW(&wc);
  HWND hwnd = CreateWindowExW(0, wc.lpszClassName, title.c_str(), WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                              x, y, 500, 300, nullptr, nullptr, instance, nullptr);
  if (!hwnd) {
    return 1;
  }
  MSG msg{};
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    // Every key message passes here, whichever window has the focus.
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_CAPITAL) {
      save(std::to_string(++g_caps_presses), g_output + L".caps");
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    // Timer messages wait while input is queued: a long text is also saved as it
    // arrives, every 50 ms at most.
    if (g_dirty && GetTickCount64() - g_saved_at >= 50) {
      g_dirty = false;
      save_now();
      g_saved_at = GetTickCount64();
    }
  }
  return 0;
}
