// A Windows target for the end-to-end tests: a window whose multiline edit control
// holds the keyboard focus and whose text is written, as UTF-8, to a file whenever
// it changes. With --no-focus the window is active but no control has the focus,
// and every key message it receives is logged to the file instead. With --chars the
// window itself has the focus and keeps the characters its key messages translate
// to, as an edit control would store them (Enter as CR LF): Wine's edit control takes
// several milliseconds a character, too slow for very long texts. The number of
// Caps Lock key presses the window has received is kept in OUTPUT_FILE.caps.
// OUTPUT_FILE.active appears once the window has been activated.
//
// With --scan es|us the window has the focus and stands for a virtual machine's
// console (built as vmconnect.exe, a console client's name): it keeps the text a
// guest with that layout would read from the key events' scan codes and its own
// Shift and AltGr (right Alt) state, Spanish dead keys composing with the next key,
// and ignores Unicode key events, for which a guest has no key. Every key event is
// logged to OUTPUT_FILE.keys as "TIME_MS down|up SCAN EXTENDED VK", or
// "TIME_MS unicode CODE" for a Unicode one.
//
// With --swallow-f10 the program also stands for a virtual machine's window that
// keeps F10 for its guest: a low-level keyboard hook takes every F10 key event, down
// and up, real or injected, away from all other programs, and passes every other key
// on. The number of F10 key events it has taken (a press and its release are two)
// is kept in OUTPUT_FILE.swallowed, written with 0 before OUTPUT_FILE first appears;
// the program exits with 1 if the hook cannot be installed.
//
//   edit_target.exe OUTPUT_FILE [--no-focus | --chars | --scan es|us] [--swallow-f10]
//                   [--title TITLE] [--at X Y]
#include <windows.h>

#include <array>
#include <cstdio>
#include <map>
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
bool g_swallow_f10 = false;
int g_swallowed_f10 = 0;

// --- The console: scan codes read as a guest's layout would ----------------------

// What a key types plain, with Shift and with AltGr; '\0' for nothing. A dead key's
// accent is marked by the key being listed in kDeadScans.
struct GuestKey {
  wchar_t plain, shift, altgr;
};
using GuestLayout = std::map<unsigned, GuestKey>;

GuestLayout letters_and_space() {
  GuestLayout layout;
  const char *rows[] = {"\x10qwertyuiop",
                        "\x1e"
                        "asdfghjkl",
                        "\x2czxcvbnm"};
  for (const char *row : rows) {
    for (unsigned i = 1; row[i]; ++i) {
      const auto c = static_cast<wchar_t>(row[i]);
      layout[static_cast<unsigned char>(row[0]) + i - 1] = {c, static_cast<wchar_t>(c - 32), 0};
    }
  }
  layout[0x39] = {L' ', L' ', 0};
  return layout;
}

GuestLayout spanish_layout() {
  GuestLayout layout = letters_and_space();
  const wchar_t *digits_shift = L"!\"\u00b7$%&/()=";
  const wchar_t *digits_altgr = L"|@#~\u20ac\u00ac";
  for (unsigned i = 0; i < 10; ++i) {
    layout[0x02 + i] = {static_cast<wchar_t>(L"1234567890"[i]), digits_shift[i],
                        i < 6 ? digits_altgr[i] : L'\0'};
  }
  layout[0x12].altgr = 0x20AC;
  layout[0x29] = {0xBA, 0xAA, L'\\'};
  layout[0x0C] = {L'\'', L'?', 0};
  layout[0x0D] = {0xA1, 0xBF, 0};
  layout[0x1A] = {L'`', L'^', L'['}; // dead
  layout[0x1B] = {L'+', L'*', L']'};
  layout[0x27] = {0xF1, 0xD1, 0};
  layout[0x28] = {0xB4, 0xA8, L'{'}; // dead
  layout[0x2B] = {0xE7, 0xC7, L'}'};
  layout[0x33] = {L',', L';', 0};
  layout[0x34] = {L'.', L':', 0};
  layout[0x35] = {L'-', L'_', 0};
  layout[0x56] = {L'<', L'>', 0};
  return layout;
}

GuestLayout us_layout() {
  GuestLayout layout = letters_and_space();
  for (unsigned i = 0; i < 10; ++i) {
    layout[0x02 + i] = {static_cast<wchar_t>(L"1234567890"[i]),
                        static_cast<wchar_t>(L"!@#$%^&*()"[i]), 0};
  }
  const char *keys = "\x29`~\x0c-_\x0d=+\x1a[{\x1b]}\x2b\\|\x27;:\x28'\"\x33,<\x34.>\x35/?";
  for (const char *k = keys; *k; k += 3) {
    layout[static_cast<unsigned char>(k[0])] = {static_cast<wchar_t>(k[1]),
                                                static_cast<wchar_t>(k[2]), 0};
  }
  return layout;
}

GuestLayout g_guest;
bool g_spanish_guest = false;
bool g_console = false;
std::string g_key_log;
bool g_guest_shift_l = false, g_guest_shift_r = false, g_guest_altgr = false;
wchar_t g_pending_accent = 0; // a dead key typed, waiting for the next key

// The letter with the accent, as the guest's dead keys compose it; 0 for none.
wchar_t compose(wchar_t accent, wchar_t base) {
  const wchar_t mark = accent == L'`'   ? 0x300
                       : accent == 0xB4 ? 0x301
                       : accent == L'^' ? 0x302
                                        : 0x308;
  const std::array<wchar_t, 2> pair{base, mark};
  std::array<wchar_t, 4> out{};
  const int n = NormalizeString(NormalizationC, pair.data(), 2, out.data(), out.size());
  return n == 1 ? out[0] : 0;
}

void guest_type(wchar_t ch, bool dead) {
  if (g_pending_accent) {
    const wchar_t accent = g_pending_accent;
    g_pending_accent = 0;
    if (ch == L' ') {
      g_text += accent;
      return;
    }
    if (const wchar_t composed = dead ? 0 : compose(accent, ch)) {
      g_text += composed;
      return;
    }
    g_text += accent;
  }
  if (dead) {
    g_pending_accent = ch;
  } else {
    g_text += ch;
  }
}

// One key event as the guest reads it.
void guest_key(const MSG &msg) {
  const auto scan = static_cast<unsigned>((msg.lParam >> 16) & 0xFF);
  const bool extended = (msg.lParam >> 24) & 1;
  const bool up = msg.message == WM_KEYUP || msg.message == WM_SYSKEYUP;
  g_dirty = true;
  if (msg.wParam == VK_PACKET) {
    g_key_log += std::to_string(msg.time) + " unicode " + std::to_string(scan) + "\n";
    return;
  }
  std::array<char, 64> line{};
  std::snprintf(line.data(), line.size(), "%lu %s %02x %d %02x\n", msg.time, up ? "up" : "down",
                scan, extended ? 1 : 0, static_cast<unsigned>(msg.wParam));
  g_key_log += line.data();
  if (scan == 0x2A || scan == 0x36) {
    (scan == 0x2A ? g_guest_shift_l : g_guest_shift_r) = !up;
  } else if (scan == 0x38 && extended) {
    g_guest_altgr = !up;
  } else if (!up) {
    const auto key = g_guest.find(scan);
    const bool dead = g_spanish_guest && (scan == 0x1A || scan == 0x28);
    if (scan == 0x1C) {
      g_text += L"\r\n";
    } else if (scan == 0x0F) {
      g_text += L'\t';
    } else if (key != g_guest.end()) {
      const GuestKey &k = key->second;
      const wchar_t ch = g_guest_altgr                          ? k.altgr
                         : (g_guest_shift_l || g_guest_shift_r) ? k.shift
                                                                : k.plain;
      if (ch) {
        guest_type(ch, dead && !g_guest_altgr);
      }
    }
  }
}

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
  if (g_swallow_f10) {
    save(std::to_string(g_swallowed_f10), g_output + L".swallowed");
  }
  if (g_no_focus) {
    save(g_keys);
    return;
  }
  if (g_console) {
    save(g_key_log, g_output + L".keys");
  }
  if (g_chars || g_console) {
    save(to_utf8(g_text));
    return;
  }
  const int length = GetWindowTextLengthW(g_edit);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  GetWindowTextW(g_edit, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(length));
  save(to_utf8(text));
}

// Takes F10 away from every program, as a virtual machine's window does for its guest.
// The count is saved with the text, by the 50 ms timer: a swallowed key brings no
// message of its own.
LRESULT CALLBACK swallow_f10(int code, WPARAM wparam, LPARAM lparam) {
  if (code == HC_ACTION && reinterpret_cast<const KBDLLHOOKSTRUCT *>(lparam)->vkCode == VK_F10) {
    ++g_swallowed_f10;
    g_dirty = true;
    return 1;
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

LRESULT CALLBACK window_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  switch (msg) {
  case WM_CREATE:
    if (!g_no_focus && !g_chars && !g_console) {
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
    if (msg == WM_ACTIVATE && LOWORD(wparam) != WA_INACTIVE) {
      save("", g_output + L".active");
    }
    if (g_no_focus) {
      SetFocus(nullptr);
    } else if (g_chars || g_console) {
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
  case WM_SYSKEYUP:
    if (g_console) {
      return 0; // no menu for Alt: a console passes it on
    }
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
    } else if (arg == L"--scan" && i + 1 < argc) {
      g_console = true;
      g_spanish_guest = std::wstring(argv[++i]) == L"es";
      g_guest = g_spanish_guest ? spanish_layout() : us_layout();
    } else if (arg == L"--swallow-f10") {
      g_swallow_f10 = true;
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
  if (g_swallow_f10 && !SetWindowsHookExW(WH_KEYBOARD_LL, swallow_f10, instance, 0)) {
    return 1;
  }
  MSG msg{};
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    // Every key message passes here, whichever window has the focus.
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_CAPITAL) {
      save(std::to_string(++g_caps_presses), g_output + L".caps");
    }
    if (g_console && msg.message >= WM_KEYDOWN && msg.message <= WM_SYSKEYUP &&
        msg.message != WM_CHAR && msg.message != WM_SYSCHAR && msg.message != WM_DEADCHAR &&
        msg.message != WM_SYSDEADCHAR && msg.wParam != VK_F10) {
      guest_key(msg);
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
