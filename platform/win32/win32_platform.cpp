#include "platform/win32/win32_platform.h"

#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>
#include <array>
#include <string>

#include "typing/keys.h"

namespace teclix {

namespace {

constexpr wchar_t kWindowClass[] = L"TeclixForm1";
constexpr UINT_PTR kWakeTimer = 1;
constexpr UINT kWakeIntervalMs = 90;
// Input events are handed to the system in batches of about this many, and the
// focus is checked before each batch: at most 8 characters (2 events each, 4 with
// Shift or AltGr) can follow a focus change.
constexpr std::size_t kBatch = 16;
// How long a clipboard that another program holds open is retried.
constexpr ULONGLONG kClipboardWaitMs = 100;

const wchar_t *wide(const std::u16string &s) {
  return reinterpret_cast<const wchar_t *>(s.c_str());
}

std::u16string from_wide(const wchar_t *s, std::size_t n) {
  return std::u16string(reinterpret_cast<const char16_t *>(s), n);
}

HWND to_hwnd(WindowHandle h) {
  return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(h));
}
WindowHandle from_hwnd(HWND h) {
  return reinterpret_cast<std::uintptr_t>(h);
}

std::u16string locale_string(LCTYPE type, const char16_t *fallback) {
  std::array<wchar_t, 16> buf{};
  const int n = GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, type, buf.data(), buf.size());
  if (n <= 1) {
    return fallback;
  }
  return from_wide(buf.data(), static_cast<std::size_t>(n - 1));
}

// True while the key is physically or logically down for the whole system.
bool down(int vk) {
  return (GetAsyncKeyState(vk) & 0x8000) != 0;
}

} // namespace

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

LRESULT CALLBACK Win32Platform::window_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == WM_NCCREATE) {
    auto *create = reinterpret_cast<CREATESTRUCTW *>(lparam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto *self = reinterpret_cast<Win32Platform *>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self) {
    return self->handle(hwnd, msg, wparam, lparam);
  }
  return DefWindowProcW(hwnd, msg, wparam, lparam);
}

int Win32Platform::scaled(int pixels_at_96_dpi) const {
  return MulDiv(pixels_at_96_dpi, dpi_, 96);
}

bool Win32Platform::over_link(LPARAM lparam) const {
  const POINT p{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
  return PtInRect(&link_rect_, p) != 0;
}

LRESULT Win32Platform::handle(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  switch (msg) {
  case WM_CLOSE:
    // The unload event, which is never cancelled.
    if (events_) {
      events_->on_close();
    }
    KillTimer(hwnd, kWakeTimer);
    DestroyWindow(hwnd);
    return 0;
  case WM_DESTROY:
    if (hwnd == window_) {
      window_ = nullptr;
    }
    return 0;
  case WM_PAINT:
    paint(hwnd);
    return 0;
  case WM_DPICHANGED:
    // The window moved to a monitor of another DPI, or the monitor's scale changed:
    // new fonts and label places, and the size and place the system suggests.
    if (hwnd == window_) {
      dpi_ = HIWORD(wparam);
      scale_contents();
      const auto *suggested = reinterpret_cast<const RECT *>(lparam);
      SetWindowPos(hwnd, nullptr, suggested->left, suggested->top,
                   suggested->right - suggested->left, suggested->bottom - suggested->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      InvalidateRect(hwnd, nullptr, TRUE);
    }
    return 0;
  case WM_MOUSEMOVE:
    // The instruction label is a control of its own, with no pointer events; the
    // rest of the client area is the window's background.
    if (events_) {
      const POINT p{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
      RECT client{};
      GetClientRect(hwnd, &client);
      if (over_link(lparam)) {
        events_->on_link_mouse_move();
      } else if (PtInRect(&client, p) && !PtInRect(&instruction_rect_, p)) {
        // Moves reported from outside the client area (while the pointer enters or
        // leaves it) are not over the background.
        events_->on_background_mouse_move();
      }
    }
    return 0;
  case WM_SETCURSOR:
    if (LOWORD(lparam) == HTCLIENT) {
      POINT p{};
      GetCursorPos(&p);
      ScreenToClient(hwnd, &p);
      const bool link = PtInRect(&link_rect_, p) != 0;
      SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(link ? IDC_HAND : IDC_ARROW)));
      return TRUE;
    }
    break;
  case WM_LBUTTONDOWN:
    link_pressed_ = over_link(lparam);
    return 0;
  case WM_LBUTTONUP:
    // A click is a press and a release both on the link.
    if (link_pressed_ && over_link(lparam) && events_) {
      events_->on_link_click();
    }
    link_pressed_ = false;
    return 0;
  default:
    break;
  }
  return DefWindowProcW(hwnd, msg, wparam, lparam);
}

void Win32Platform::paint(HWND hwnd) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  RECT client;
  GetClientRect(hwnd, &client);
  FillRect(dc, &client, GetSysColorBrush(COLOR_WINDOW));
  SetBkMode(dc, TRANSPARENT);

  RECT text = instruction_rect_;
  HGDIOBJ old = SelectObject(dc, instruction_font_);
  SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
  DrawTextW(dc, wide(instruction_), -1, &text, DT_LEFT | DT_TOP | DT_WORDBREAK | DT_NOPREFIX);

  SelectObject(dc, link_font_);
  SetTextColor(dc, link_color_);
  RECT link = link_rect_;
  DrawTextW(dc, wide(link_), -1, &link, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
  SelectObject(dc, old);
  EndPaint(hwnd, &ps);
}

// Fonts and label places for the window's DPI.
void Win32Platform::scale_contents() {
  for (HFONT font : {instruction_font_, link_font_}) {
    if (font) {
      DeleteObject(font);
    }
  }
  auto font = [this](int hundredths_of_a_point) {
    return CreateFontW(-MulDiv(hundredths_of_a_point, dpi_, 7200), 0, 0, 0, FW_BOLD, FALSE, FALSE,
                       FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                       DEFAULT_QUALITY, DEFAULT_PITCH | FF_ROMAN, L"Times New Roman");
  };
  instruction_font_ = font(975);
  // The instruction label: 15, 1260, 6375 x 1110 twips.
  instruction_rect_ = RECT{scaled(1), scaled(84), scaled(1 + 425), scaled(84 + 74)};
  link_font_ = font(2025);
  layout_link();
}

// The link label sizes itself to its caption, keeping its top-left corner (60, 435 twips).
void Win32Platform::layout_link() {
  if (!window_) {
    return;
  }
  HDC dc = GetDC(window_);
  HGDIOBJ old = SelectObject(dc, link_font_);
  RECT size{0, 0, 0, 0};
  DrawTextW(dc, wide(link_), -1, &size, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
  SelectObject(dc, old);
  ReleaseDC(window_, dc);
  const int left = scaled(4);
  const int top = scaled(29);
  InvalidateRect(window_, &link_rect_, FALSE);
  link_rect_ = RECT{left, top, left + size.right, top + size.bottom};
  InvalidateRect(window_, &link_rect_, FALSE);
}

WindowHandle Win32Platform::create_main_window(WindowEvents &events) {
  events_ = &events;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &Win32Platform::window_proc;
  wc.hInstance = instance_;
  wc.hCursor = nullptr; // chosen in WM_SETCURSOR: a hand over the link
  wc.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
  wc.lpszClassName = kWindowClass;
  wc.hIcon = LoadIconW(instance_, MAKEINTRESOURCEW(1));
  RegisterClassExW(&wc);

  HDC screen = GetDC(nullptr);
  dpi_ = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);

  // A small fixed utility window: not resizable, centred on the screen.
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  RECT rect{0, 0, scaled(432), scaled(167)};
  AdjustWindowRectEx(&rect, style, FALSE, 0);
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const int x = work.left + (work.right - work.left - width) / 2;
  const int y = work.top + (work.bottom - work.top - height) / 2;
  window_ = CreateWindowExW(0, kWindowClass, L"Teclix", style, x, y, width, height, nullptr,
                            nullptr, instance_, this);
  scale_contents();

  // The timer only wakes the wait for messages.
  SetTimer(window_, kWakeTimer, kWakeIntervalMs, nullptr);
  return from_hwnd(window_);
}

void Win32Platform::show_window(WindowHandle window) {
  ShowWindow(to_hwnd(window), SW_SHOWNORMAL);
  UpdateWindow(to_hwnd(window));
}

void Win32Platform::set_caption(WindowHandle window, const std::u16string &text) {
  SetWindowTextW(to_hwnd(window), wide(text));
}

void Win32Platform::set_instruction(WindowHandle window, const std::u16string &text) {
  instruction_ = text;
  InvalidateRect(to_hwnd(window), nullptr, FALSE);
}

void Win32Platform::set_link(WindowHandle, const std::u16string &text) {
  link_ = text;
  layout_link();
}

void Win32Platform::set_link_color(WindowHandle window, std::uint32_t color) {
  link_color_ = static_cast<COLORREF>(color); // both are 0x00BBGGRR
  InvalidateRect(to_hwnd(window), &link_rect_, FALSE);
}

void Win32Platform::open_address(WindowHandle window, const std::u16string &address) {
  // The shell opens a web address in the user's browser; a failure stays silent.
  const int n = WideCharToMultiByte(CP_ACP, 0, wide(address), -1, nullptr, 0, nullptr, nullptr);
  std::string ansi(static_cast<std::size_t>(n > 0 ? n : 1), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide(address), -1, ansi.data(), n, nullptr, nullptr);
  ShellExecuteA(to_hwnd(window), nullptr, ansi.c_str(), nullptr, "C:\\", SW_SHOWNORMAL);
}

int Win32Platform::message_box(const std::u16string &prompt, const std::u16string &title,
                               const MessageBoxStyle &style) {
  static constexpr UINT kButtons[] = {MB_OK,          MB_OKCANCEL, MB_ABORTRETRYIGNORE,
                                      MB_YESNOCANCEL, MB_YESNO,    MB_RETRYCANCEL};
  static constexpr UINT kIcons[] = {0, MB_ICONERROR, MB_ICONQUESTION, MB_ICONWARNING,
                                    MB_ICONINFORMATION};
  static constexpr UINT kDefaults[] = {MB_DEFBUTTON1, MB_DEFBUTTON2, MB_DEFBUTTON3, MB_DEFBUTTON4};
  const UINT flags = kButtons[static_cast<int>(style.buttons)] |
                     kIcons[static_cast<int>(style.icon)] | kDefaults[style.default_button & 3];
  return MessageBoxW(window_, wide(prompt), wide(title), flags);
}

CallResult Win32Platform::register_hotkey(WindowHandle window, int id, Key key,
                                          unsigned modifiers) {
  const UINT mods = ((modifiers & kAlt) ? MOD_ALT : 0u) |
                    ((modifiers & kControl) ? MOD_CONTROL : 0u) |
                    ((modifiers & kShift) ? MOD_SHIFT : 0u) | ((modifiers & kSuper) ? MOD_WIN : 0u);
  if (RegisterHotKey(to_hwnd(window), id, mods, virtual_key_for(key))) {
    return {};
  }
  return {false, system_error_text(GetLastError())};
}

void Win32Platform::unregister_hotkey(WindowHandle window, int id) {
  UnregisterHotKey(to_hwnd(window), id);
}

void Win32Platform::wait_message() {
  WaitMessage();
}

bool Win32Platform::peek_hotkey(WindowHandle window) {
  MSG msg{};
  return PeekMessageA(&msg, to_hwnd(window), WM_HOTKEY, WM_HOTKEY, PM_REMOVE) != 0;
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

void Win32Platform::begin_typing(std::u16string_view, TypingMode mode) {
  layout_ = focused_layout();
  caps_lock_ = caps_lock_on();
  located_.clear();
  mode_ = mode;
  dead_keys_found_ = false;
  dead_keys_.clear();
  sequences_.clear();
  target_ = focused_control();
  focus_lost_ = false;
  typing_ = true;
}

void Win32Platform::end_typing() {
  flush();
  typing_ = false;
  mode_ = TypingMode::kDirect;
}

void Win32Platform::pause(std::chrono::milliseconds time) {
  // The keys queued so far go out first, so that the time passes between them and
  // the keys that follow.
  flush();
  Sleep(static_cast<DWORD>(time.count()));
}

// What the layout's translation gives for the key with these Shift/Control/Alt bits
// (as VkKeyScanEx reports them) and Caps Lock as it is: ToUnicodeEx's count, the
// characters in out (8 wide). Negative for a dead key.
int Win32Platform::translate(BYTE vk, BYTE shift, wchar_t *out, UINT flags) const {
  std::array<BYTE, 256> state{};
  if (shift & 1) {
    state[VK_SHIFT] = state[VK_LSHIFT] = 0x80;
  }
  if (shift & 2) {
    state[VK_CONTROL] = state[VK_LCONTROL] = 0x80;
  }
  if (shift & 4) {
    state[VK_MENU] = state[VK_LMENU] = 0x80;
  }
  if (caps_lock_) {
    state[VK_CAPITAL] = 0x01; // toggled on, not held
  }
  const UINT scancode = MapVirtualKeyExW(vk, MAPVK_VK_TO_VSC, layout_);
  return ToUnicodeEx(vk, scancode, state.data(), out, 8, flags, layout_);
}

// Empties the layout's pending dead key, as a space typed after it would.
void Win32Platform::clear_dead_key_state() const {
  std::array<wchar_t, 8> out{};
  for (int i = 0; i < 4 && translate(VK_SPACE, 0, out.data(), 0) < 0; ++i) {
  }
}

// The one character the key gives, or 0 for anything else. A dead key leaves the
// layout's dead-key state as it was.
wchar_t Win32Platform::produces(BYTE vk, BYTE shift) const {
  std::array<wchar_t, 8> out{};
  // Flag 4 leaves the keyboard state (a pending dead key) untouched.
  const int n = translate(vk, shift, out.data(), 4);
  if (n < 0) {
    // A dead key was stored after all (systems that ignore the flag): clear it.
    clear_dead_key_state();
    return 0;
  }
  return n == 1 ? out[0] : 0;
}

namespace {

// The keys of the main block, the only ones a console passes on as they are:
// space, digits, letters and the punctuation keys (VK_OEM_1 to VK_OEM_8, VK_OEM_102).
const std::vector<BYTE> &main_block_keys() {
  static const std::vector<BYTE> keys = [] {
    std::vector<BYTE> k{VK_SPACE};
    for (BYTE vk = '0'; vk <= '9'; ++vk) {
      k.push_back(vk);
    }
    for (BYTE vk = 'A'; vk <= 'Z'; ++vk) {
      k.push_back(vk);
    }
    for (BYTE vk = VK_OEM_1; vk <= VK_OEM_3; ++vk) {
      k.push_back(vk);
    }
    for (BYTE vk = VK_OEM_4; vk <= VK_OEM_8; ++vk) {
      k.push_back(vk);
    }
    k.push_back(VK_OEM_102);
    return k;
  }();
  return keys;
}

bool in_main_block(BYTE vk) {
  const std::vector<BYTE> &keys = main_block_keys();
  return std::find(keys.begin(), keys.end(), vk) != keys.end();
}

// The Shift states a console is typed with, as VkKeyScanEx's bits: none, Shift,
// AltGr (Control+Alt) and Shift+AltGr.
constexpr std::array<BYTE, 4> kConsoleStates = {0, 1, 6, 7};

KeyLocation key_location(BYTE vk, BYTE shift, bool dead = false) {
  KeyLocation key;
  key.key = vk;
  key.modifiers = ((shift & 1) ? unsigned{kShift} : 0u) | ((shift & 2) ? unsigned{kControl} : 0u) |
                  ((shift & 4) ? unsigned{kAlt} : 0u);
  key.dead = dead;
  return key;
}

// The combining mark of a spacing accent that dead keys type, or 0.
wchar_t combining_mark(wchar_t accent) {
  switch (accent) {
  case L'`':
    return 0x0300;
  case 0x00B4: // acute
    return 0x0301;
  case L'^':
    return 0x0302;
  case L'~':
    return 0x0303;
  case 0x00AF: // macron
    return 0x0304;
  case 0x02D8: // breve
    return 0x0306;
  case 0x02D9: // dot above
    return 0x0307;
  case 0x00A8: // diaeresis
    return 0x0308;
  case 0x02DA: // ring above
  case 0x00B0:
    return 0x030A;
  case 0x02DD: // double acute
    return 0x030B;
  case 0x02C7: // caron
    return 0x030C;
  case 0x00B8: // cedilla
    return 0x0327;
  case 0x02DB: // ogonek
    return 0x0328;
  default:
    return 0;
  }
}

} // namespace

// The layout's dead keys on the main block, once per paste. A dead key is one the
// layout's translation answers with a negative count. Wine's X11 driver never
// does: it leaves dead keys to the X input method and answers with the accent
// itself, and its VkKeyScanEx finds no key for an accent on a dead key. There, a
// key that types a spacing accent which VkKeyScanEx does not find is a dead key,
// and it combines with a letter as Unicode composes the accent's mark with it.
void Win32Platform::find_dead_keys() {
  if (dead_keys_found_) {
    return;
  }
  dead_keys_found_ = true;
  layout_composes_ = true;
  std::array<wchar_t, 8> out{};
  for (BYTE vk : main_block_keys()) {
    for (BYTE shift : kConsoleStates) {
      if (translate(vk, shift, out.data(), 4) < 0) {
        clear_dead_key_state();
        dead_keys_.push_back({key_location(vk, shift, true), out[0]});
      }
    }
  }
  if (!dead_keys_.empty()) {
    return;
  }
  layout_composes_ = false;
  for (BYTE vk : main_block_keys()) {
    for (BYTE shift : kConsoleStates) {
      if (translate(vk, shift, out.data(), 4) == 1 && combining_mark(out[0]) != 0 &&
          VkKeyScanExW(out[0], layout_) == -1) {
        dead_keys_.push_back({key_location(vk, shift, true), out[0]});
      }
    }
  }
}

std::optional<KeyLocation> Win32Platform::locate(char32_t ch) {
  if (!layout_) {
    layout_ = focused_layout();
    caps_lock_ = caps_lock_on();
  }
  if (ch > 0xFFFF) {
    return std::nullopt;
  }
  if (auto it = located_.find(ch); it != located_.end()) {
    return it->second;
  }
  const wchar_t unit = static_cast<wchar_t>(ch);
  const std::optional<KeyLocation> where =
      mode_ == TypingMode::kConsole ? locate_console(unit) : locate_direct(unit);
  located_.emplace(ch, where);
  return where;
}

std::optional<KeyLocation> Win32Platform::locate_direct(wchar_t ch) {
  const SHORT scan = VkKeyScanExW(ch, layout_);
  const BYTE vk = LOBYTE(scan);
  const BYTE shift = HIBYTE(scan);
  // No key, or one that needs a state other than Shift, Control+Alt (AltGr) or both.
  const bool usable = scan != -1 && (shift & ~7) == 0 && ((shift & 6) == 0 || (shift & 6) == 6);
  if (usable) {
    // The layout names the Shift state with Caps Lock off. With the lock on, a
    // letter (and on some layouts other keys) gives its other case, so the key is
    // tried as named and then with Shift the other way. A dead key, or a layout
    // where the first key found gives the character only in some other state, is
    // typed as the character itself.
    for (const BYTE mods : {shift, static_cast<BYTE>(shift ^ 1)}) {
      if (produces(vk, mods) == ch) {
        return key_location(vk, mods);
      }
    }
  }
  return std::nullopt;
}

// A key of the main block for a console: the one VkKeyScanEx names, else any key
// of the block in any Shift/AltGr state whose translation is the character.
std::optional<KeyLocation> Win32Platform::locate_console(wchar_t ch) {
  find_dead_keys();
  const auto located = [this](BYTE vk, BYTE shift) {
    KeyLocation key = key_location(vk, shift);
    for (const DeadKey &dead : dead_keys_) {
      key.dead = key.dead || (dead.key.key == key.key && dead.key.modifiers == key.modifiers);
    }
    return key;
  };
  const SHORT scan = VkKeyScanExW(ch, layout_);
  const BYTE vk = LOBYTE(scan);
  const BYTE shift = HIBYTE(scan);
  if (scan != -1 && in_main_block(vk) &&
      std::find(kConsoleStates.begin(), kConsoleStates.end(), shift) != kConsoleStates.end()) {
    for (const BYTE mods : {shift, static_cast<BYTE>(shift ^ 1)}) {
      if (produces(vk, mods) == ch) {
        return located(vk, mods);
      }
    }
    // Wine's X11 driver translates nothing in an AltGr state (it takes AltGr from
    // the X server, not from the state it is given): VkKeyScanEx's word is all there is.
    std::array<wchar_t, 8> out{};
    if ((shift & 6) == 6 && translate(vk, shift, out.data(), 4) == 0) {
      return located(vk, shift);
    }
  }
  for (BYTE key : main_block_keys()) {
    for (BYTE mods : kConsoleStates) {
      if (produces(key, mods) == ch) {
        return located(key, mods);
      }
    }
  }
  return std::nullopt;
}

std::optional<DeadKeySequence> Win32Platform::dead_key_sequence(char32_t ch) {
  if (!layout_) {
    layout_ = focused_layout();
    caps_lock_ = caps_lock_on();
  }
  if (ch > 0xFFFF) {
    return std::nullopt;
  }
  if (auto it = sequences_.find(ch); it != sequences_.end()) {
    return it->second;
  }
  find_dead_keys();
  const wchar_t unit = static_cast<wchar_t>(ch);
  std::optional<DeadKeySequence> found;
  std::array<wchar_t, 8> out{};
  if (layout_composes_) {
    // Each dead key, then each key of the block, through the layout's own
    // translation; the dead key is stored for the second key to combine with.
    for (const DeadKey &dead : dead_keys_) {
      const BYTE dead_shift = static_cast<BYTE>(((dead.key.modifiers & kShift) ? 1 : 0) |
                                                ((dead.key.modifiers & (kControl | kAlt)) ? 6 : 0));
      for (BYTE vk : main_block_keys()) {
        for (BYTE shift : kConsoleStates) {
          if (found) {
            break;
          }
          translate(static_cast<BYTE>(dead.key.key), dead_shift, out.data(), 0);
          const int n = translate(vk, shift, out.data(), 0);
          if (n < 0) {
            clear_dead_key_state();
          } else if (n == 1 && out[0] == unit) {
            found = DeadKeySequence{dead.key, key_location(vk, shift)};
          }
        }
      }
    }
  } else {
    // The accent alone is the dead key and a space; a letter with one accent is
    // the dead key and the letter.
    std::array<wchar_t, 4> parts{};
    const int n = NormalizeString(NormalizationD, &unit, 1, parts.data(), parts.size());
    for (const DeadKey &dead : dead_keys_) {
      if (found) {
        break;
      }
      if (dead.accent == unit) {
        found = DeadKeySequence{dead.key, key_location(VK_SPACE, 0)};
      } else if (n == 2 && parts[1] == combining_mark(dead.accent)) {
        if (const std::optional<KeyLocation> base = locate(parts[0]); base && !base->dead) {
          found = DeadKeySequence{dead.key, *base};
        }
      }
    }
  }
  sequences_.emplace(ch, found);
  return found;
}

unsigned Win32Platform::held_modifiers() {
  unsigned held = 0;
  if (down(VK_LSHIFT) || down(VK_RSHIFT)) {
    held |= kShift;
  }
  if (down(VK_RMENU)) {
    held |= kAltGr;
  }
  if (down(VK_LCONTROL) || down(VK_RCONTROL)) {
    held |= kControl;
  }
  if (down(VK_LMENU)) {
    held |= kAlt;
  }
  if (down(VK_LWIN) || down(VK_RWIN)) {
    held |= kSuper;
  }
  return held;
}

bool Win32Platform::caps_lock_on() {
  return (GetKeyState(VK_CAPITAL) & 1) != 0;
}

INPUT Win32Platform::key_input(WORD vk, bool up) const {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = vk;
  // The scan code goes with every key: remote-desktop, VNC and virtual-machine
  // clients read it rather than the virtual key.
  UINT scan = MapVirtualKeyExW(vk, MAPVK_VK_TO_VSC_EX, layout_ ? layout_ : focused_layout());
  if (vk == VK_RMENU) {
    // AltGr is the right Alt key: scan code 38, extended (Wine maps VK_RMENU to no
    // scan code at all).
    scan = 0xE038;
  }
  input.ki.wScan = static_cast<WORD>(scan & 0xFF);
  input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  if ((scan & 0xFF00) == 0xE000 || (scan & 0xFF00) == 0xE100) {
    input.ki.dwFlags |= KEYEVENTF_EXTENDEDKEY;
  }
  return input;
}

void Win32Platform::queue_key(WORD vk, bool up) {
  pending_.push_back(key_input(vk, up));
  if (!typing_ || pending_.size() >= kBatch) {
    flush();
  }
}

void Win32Platform::flush() {
  if (pending_.empty()) {
    return;
  }
  // While a text is typed, its keys go only to the control that had the focus
  // when it began: once the focus has moved, the queued keys and all that follow
  // in this text are dropped, and only the keys already pressed are let go of.
  if (typing_ && !focus_lost_ && focused_control() != target_) {
    focus_lost_ = true;
  }
  if (typing_ && focus_lost_) {
    pending_.clear();
    for (int vk = 0; vk < 256; ++vk) {
      if (down_[static_cast<std::size_t>(vk)]) {
        pending_.push_back(key_input(static_cast<WORD>(vk), true));
      }
    }
    down_.reset();
  } else {
    for (const INPUT &input : pending_) {
      if ((input.ki.dwFlags & KEYEVENTF_UNICODE) == 0) {
        down_[input.ki.wVk & 0xFF] = (input.ki.dwFlags & KEYEVENTF_KEYUP) == 0;
      }
    }
  }
  if (!pending_.empty()) {
    SendInput(static_cast<UINT>(pending_.size()), pending_.data(), sizeof(INPUT));
    pending_.clear();
  }
}

void Win32Platform::send_key(Key key, bool up) {
  queue_key(virtual_key_for(key), up);
}

void Win32Platform::send_layout_key(std::uint32_t key, bool up) {
  queue_key(static_cast<WORD>(key), up);
}

void Win32Platform::send_character(char32_t ch) {
  std::array<wchar_t, 2> units{};
  std::size_t count = 1;
  if (ch >= 0x10000) {
    ch -= 0x10000;
    units[0] = static_cast<wchar_t>(0xD800 + (ch >> 10));
    units[1] = static_cast<wchar_t>(0xDC00 + (ch & 0x3FF));
    count = 2;
  } else {
    units[0] = static_cast<wchar_t>(ch);
  }
  for (std::size_t i = 0; i < count; ++i) {
    for (bool up : {false, true}) {
      INPUT input{};
      input.type = INPUT_KEYBOARD;
      input.ki.wScan = units[i];
      input.ki.dwFlags = KEYEVENTF_UNICODE | (up ? KEYEVENTF_KEYUP : 0);
      pending_.push_back(input);
    }
  }
  if (!typing_ || pending_.size() >= kBatch) {
    flush();
  }
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
