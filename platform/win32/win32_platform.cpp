// The Windows backend: user32 and kernel32 for the hotkey and its loop, the focus,
// the clipboard, the locale, the pointer and posted characters; advapi32 for the
// target's integrity level. The window is in win32_window.cpp, keyboard input in
// win32_keyboard.cpp.
#include "platform/win32/win32_platform.h"

#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32/win32_internal.h"
#include "typing/keys.h"

namespace teclix {

using namespace win32;

std::u16string system_error_text(DWORD code) {
  wchar_t *text = nullptr;
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, code, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
  std::u16string out;
  if (n > 0 && text) {
    out = from_wide(text, n);
    while (!out.empty() && (out.back() == u'\n' || out.back() == u'\r' || out.back() == u' ')) {
      out.pop_back();
    }
  }
  if (text) {
    LocalFree(text);
  }
  std::string number = std::to_string(code);
  std::u16string prefix = u"error ";
  for (char c : number) {
    prefix += static_cast<char16_t>(c);
  }
  return out.empty() ? prefix : prefix + u": " + out;
}

Win32Platform::Win32Platform(HINSTANCE instance) : instance_(instance) {}

Win32Platform::~Win32Platform() {
  for (HFONT font : {instruction_font_, link_font_}) {
    if (font) {
      DeleteObject(font);
    }
  }
}

void Win32Platform::open_address(const std::u16string &address) {
  // The shell opens a web address in the user's browser; a failure stays silent.
  const int n = WideCharToMultiByte(CP_ACP, 0, wide(address), -1, nullptr, 0, nullptr, nullptr);
  std::string ansi(static_cast<std::size_t>(n > 0 ? n : 1), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide(address), -1, ansi.data(), n, nullptr, nullptr);
  ShellExecuteA(window_, nullptr, ansi.c_str(), nullptr, "C:\\", SW_SHOWNORMAL);
}

CallResult Win32Platform::register_hotkey(Key key, unsigned modifiers) {
  const UINT mods = ((modifiers & kAlt) ? MOD_ALT : 0u) |
                    ((modifiers & kControl) ? MOD_CONTROL : 0u) |
                    ((modifiers & kShift) ? MOD_SHIFT : 0u) | ((modifiers & kSuper) ? MOD_WIN : 0u);
  if (RegisterHotKey(window_, kHotkeyId, mods, virtual_key_for(key))) {
    hotkey_vk_ = virtual_key_for(key);
    hotkey_mods_ = mods;
    watch_raw_keys(true);
    return {};
  }
  return {false, system_error_text(GetLastError())};
}

void Win32Platform::unregister_hotkey() {
  watch_raw_keys(false);
  hotkey_vk_ = 0;
  UnregisterHotKey(window_, kHotkeyId);
}

void Win32Platform::watch_raw_keys(bool on) {
  if (!window_ || hotkey_vk_ == 0) {
    return;
  }
  RAWINPUTDEVICE keyboard{0x01, 0x06, on ? DWORD{RIDEV_INPUTSINK} : DWORD{RIDEV_REMOVE},
                          on ? window_ : nullptr};
  RegisterRawInputDevices(&keyboard, 1, sizeof keyboard);
}

void Win32Platform::on_raw_input(HRAWINPUT input) {
  RAWINPUT raw{};
  UINT size = sizeof raw;
  if (GetRawInputData(input, RID_INPUT, &raw, &size, sizeof(RAWINPUTHEADER)) == UINT(-1) ||
      raw.header.dwType != RIM_TYPEKEYBOARD || raw.data.keyboard.VKey != hotkey_vk_ ||
      (raw.data.keyboard.Flags & RI_KEY_BREAK) != 0) {
    return;
  }
  // A press with other modifiers down was not meant as the hotkey.
  const UINT mods = (down(VK_MENU) ? MOD_ALT : 0u) | (down(VK_CONTROL) ? MOD_CONTROL : 0u) |
                    (down(VK_SHIFT) ? MOD_SHIFT : 0u) |
                    (down(VK_LWIN) || down(VK_RWIN) ? MOD_WIN : 0u);
  if (mods != hotkey_mods_ || raw_press_at_ != 0) {
    return;
  }
  raw_press_at_ = GetTickCount64();
  SetTimer(window_, kHotkeyCheckTimer, kHotkeyCheckMs, nullptr);
}

void Win32Platform::check_hotkey_presses() {
  KillTimer(window_, kHotkeyCheckTimer);
  MSG queued{};
  const bool reached = hotkey_taken_at_ + kHotkeyCheckMs >= raw_press_at_ ||
                       PeekMessageW(&queued, window_, WM_HOTKEY, WM_HOTKEY, PM_NOREMOVE);
  raw_press_at_ = 0;
  if (!reached && events_) {
    events_->on_hotkey_taken();
  }
}

void Win32Platform::wait_message() {
  WaitMessage();
}

void Win32Platform::wait_message_until(std::chrono::steady_clock::time_point until) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - now()).count();
  if (left > 0) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE,
                              static_cast<DWORD>(std::min<long long>(left, INFINITE - 1)),
                              QS_ALLINPUT);
  }
}

bool Win32Platform::take_paste_press() {
  MSG msg{};
  if (PeekMessageA(&msg, window_, WM_HOTKEY, WM_HOTKEY, PM_REMOVE) == 0) {
    return false;
  }
  hotkey_taken_at_ = GetTickCount64();
  return true;
}

void Win32Platform::pump_events() {
  MSG msg{};
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

WindowHandle Win32Platform::focused_control() {
  HWND foreground = GetForegroundWindow();
  DWORD process = 0;
  const DWORD thread = GetWindowThreadProcessId(foreground, &process);
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  GetGUIThreadInfo(thread, &info);
  return from_hwnd(info.hwndFocus);
}

std::optional<std::u16string> Win32Platform::clipboard_text() {
  // Another program may hold the clipboard open for a moment: retry for about 100 ms
  // by the clock (a Sleep(1) lasts a whole timer tick, up to 16 ms, on many systems).
  const ULONGLONG deadline = GetTickCount64() + kClipboardWaitMs;
  bool open = OpenClipboard(window_) != 0;
  while (!open && GetTickCount64() < deadline) {
    Sleep(1);
    open = OpenClipboard(window_) != 0;
  }
  if (!open) {
    return std::nullopt;
  }
  std::optional<std::u16string> text;
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    if (const auto *chars = static_cast<const wchar_t *>(GlobalLock(data))) {
      // The text ends at its first NUL, and never past the end of its memory.
      const std::size_t capacity = GlobalSize(data) / sizeof(wchar_t);
      std::size_t n = 0;
      while (n < capacity && chars[n] != L'\0') {
        ++n;
      }
      text = from_wide(chars, n);
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return text;
}

NumberFormat Win32Platform::number_format() {
  NumberFormat format;
  format.decimal = locale_string(LOCALE_SDECIMAL, u".");
  format.grouping = locale_string(LOCALE_STHOUSAND, u",");
  format.negative = locale_string(LOCALE_SNEGATIVESIGN, u"-");
  return format;
}

HKL Win32Platform::focused_layout() const {
  const DWORD thread = GetWindowThreadProcessId(GetForegroundWindow(), nullptr);
  return GetKeyboardLayout(thread);
}

TargetWindow Win32Platform::focused_target() {
  TargetWindow target;
  HWND foreground = GetForegroundWindow();
  if (!foreground) {
    return target;
  }
  DWORD process_id = 0;
  GetWindowThreadProcessId(foreground, &process_id);
  if (HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id)) {
    std::array<wchar_t, MAX_PATH> path{};
    DWORD size = path.size();
    if (QueryFullProcessImageNameW(process, 0, path.data(), &size)) {
      std::u16string full = from_wide(path.data(), size);
      const std::size_t slash = full.find_last_of(u"\\/");
      target.program = slash == std::u16string::npos ? full : full.substr(slash + 1);
    }
    CloseHandle(process);
  }
  std::array<wchar_t, 256> name{};
  const int class_length = GetClassNameW(foreground, name.data(), name.size());
  target.window_class = from_wide(name.data(), static_cast<std::size_t>(std::max(class_length, 0)));
  std::array<wchar_t, 512> title{};
  const int title_length = GetWindowTextW(foreground, title.data(), title.size());
  target.title = from_wide(title.data(), static_cast<std::size_t>(std::max(title_length, 0)));
  return target;
}

namespace {

// The mandatory integrity level of a process's token, as its label's RID
// (SECURITY_MANDATORY_MEDIUM_RID, _HIGH_RID, ...); nullopt when it cannot be read.
std::optional<DWORD> integrity_level(HANDLE process) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(process, TOKEN_QUERY, &token)) {
    return std::nullopt;
  }
  std::optional<DWORD> level;
  DWORD size = 0;
  GetTokenInformation(token, TokenIntegrityLevel, nullptr, 0, &size);
  std::vector<BYTE> buffer(size);
  if (size >= sizeof(TOKEN_MANDATORY_LABEL) &&
      GetTokenInformation(token, TokenIntegrityLevel, buffer.data(), size, &size)) {
    const PSID sid = reinterpret_cast<const TOKEN_MANDATORY_LABEL *>(buffer.data())->Label.Sid;
    if (IsValidSid(sid) && *GetSidSubAuthorityCount(sid) > 0) {
      level = *GetSidSubAuthority(sid, *GetSidSubAuthorityCount(sid) - 1U);
    }
  }
  CloseHandle(token);
  return level;
}

} // namespace

// User Interface Privilege Isolation: SendInput's keys do not reach a window of a
// process whose integrity level is above the sender's, and SendInput says nothing
// of it. A level that cannot be read (a process of another account, a protected
// one) is no proof that the keys will be dropped, so it types as before. (Wine
// reports every process at the high level, so there the levels are always equal.)
TargetPrivilege Win32Platform::target_privilege() {
  DWORD process_id = 0;
  GetWindowThreadProcessId(GetForegroundWindow(), &process_id);
  if (process_id == 0) {
    return TargetPrivilege::kUnknown;
  }
  if (process_id == GetCurrentProcessId()) {
    return TargetPrivilege::kSameOrLower;
  }
  const std::optional<DWORD> own = integrity_level(GetCurrentProcess());
  std::optional<DWORD> target;
  if (HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id)) {
    target = integrity_level(process);
    CloseHandle(process);
  }
  if (!own || !target) {
    return TargetPrivilege::kUnknown;
  }
  return *target > *own ? TargetPrivilege::kHigher : TargetPrivilege::kSameOrLower;
}

Point Win32Platform::cursor_position() {
  POINT p{};
  GetCursorPos(&p);
  return Point{p.x, p.y};
}

void Win32Platform::set_cursor_position(Point point) {
  SetCursorPos(point.x, point.y);
}

void Win32Platform::left_button(bool up) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = up ? MOUSEEVENTF_LEFTUP : MOUSEEVENTF_LEFTDOWN;
  SendInput(1, &input, sizeof input);
}

void Win32Platform::send_right_double_click(WindowHandle window) {
  SendMessageA(to_hwnd(window), WM_RBUTTONDBLCLK, 0, 0);
}

// A character posted with PostMessageA is read in the system's ANSI code page.
std::uint8_t Win32Platform::post_code(char16_t ch) {
  const wchar_t unit = static_cast<wchar_t>(ch);
  std::array<char, 4> bytes{};
  int n = 0;
  if (GetACP() == CP_UTF8) {
    // UTF-8 as the ANSI code page: one byte only for ASCII; the default-character
    // report is not allowed for it.
    n = WideCharToMultiByte(CP_UTF8, 0, &unit, 1, bytes.data(), bytes.size(), nullptr, nullptr);
  } else {
    BOOL lossy = FALSE;
    n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, &unit, 1, bytes.data(), bytes.size(),
                            nullptr, &lossy);
    if (lossy) {
      n = 0;
    }
  }
  return n == 1 ? static_cast<std::uint8_t>(bytes[0]) : std::uint8_t{'?'};
}

void Win32Platform::post_character(WindowHandle window, std::uint8_t code) {
  PostMessageA(to_hwnd(window), WM_CHAR, code, 0);
}

} // namespace teclix
