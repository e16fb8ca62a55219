// The Windows backend's main window: its labels, link, DPI changes and message boxes.
#include "platform/win32/win32_platform.h"

#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>
#include <array>
#include <string>

#include "platform/win32/win32_internal.h"
#include "typing/keys.h"

namespace teclix {

using namespace win32;

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

bool Win32Platform::over_button(LPARAM lparam) const {
  const POINT p{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
  return PtInRect(&button_rect_, p) != 0;
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
      } else if (PtInRect(&client, p) && !PtInRect(&instruction_rect_, p) &&
                 !PtInRect(&button_rect_, p)) {
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
    button_pressed_ = over_button(lparam);
    return 0;
  case WM_LBUTTONUP:
    // A click is a press and a release both on the link, or both on the button.
    if (link_pressed_ && over_link(lparam) && events_) {
      events_->on_link_click();
    } else if (button_pressed_ && over_button(lparam) && events_) {
      events_->on_paste_button_click();
    }
    link_pressed_ = button_pressed_ = false;
    return 0;
  case WM_INPUT:
    on_raw_input(reinterpret_cast<HRAWINPUT>(lparam));
    break; // DefWindowProc frees the input's buffer
  case WM_TIMER:
    if (wparam == kHotkeyCheckTimer) {
      check_hotkey_presses();
      return 0;
    }
    break;
  case WM_KEYDOWN:
    if (wparam == VK_ESCAPE && events_) {
      events_->on_escape_key();
      return 0;
    }
    break;
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

  // The paste button: a face with a one-pixel edge and its caption in the middle.
  RECT face = button_rect_;
  FillRect(dc, &face, GetSysColorBrush(COLOR_BTNSHADOW));
  InflateRect(&face, -1, -1);
  FillRect(dc, &face, GetSysColorBrush(COLOR_BTNFACE));
  SelectObject(dc, instruction_font_);
  SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
  DrawTextW(dc, wide(button_), -1, &face,
            DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
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
  // The paste button, in the free strip above the link at the right.
  button_rect_ = RECT{scaled(432 - 8 - 104), scaled(4), scaled(432 - 8), scaled(4 + 22)};
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
  // Painted now: during a paste no messages are handled until it ends.
  InvalidateRect(to_hwnd(window), nullptr, FALSE);
  UpdateWindow(to_hwnd(window));
}

void Win32Platform::set_link(WindowHandle, const std::u16string &text) {
  link_ = text;
  layout_link();
}

void Win32Platform::set_button(WindowHandle window, const std::u16string &text) {
  button_ = text;
  InvalidateRect(to_hwnd(window), &button_rect_, FALSE);
  UpdateWindow(to_hwnd(window));
}

void Win32Platform::set_link_color(WindowHandle window, Rgb color) {
  link_color_ = RGB(color.red, color.green, color.blue);
  InvalidateRect(to_hwnd(window), &link_rect_, FALSE);
}

BoxAnswer Win32Platform::message_box(const std::u16string &prompt, const std::u16string &title,
                                     const MessageBoxStyle &style) {
  static constexpr UINT kButtons[] = {MB_OK,          MB_OKCANCEL, MB_ABORTRETRYIGNORE,
                                      MB_YESNOCANCEL, MB_YESNO,    MB_RETRYCANCEL};
  static constexpr UINT kIcons[] = {0, MB_ICONERROR, MB_ICONQUESTION, MB_ICONWARNING,
                                    MB_ICONINFORMATION};
  static constexpr UINT kDefaults[] = {MB_DEFBUTTON1, MB_DEFBUTTON2, MB_DEFBUTTON3, MB_DEFBUTTON4};
  const UINT flags = kButtons[static_cast<int>(style.buttons)] |
                     kIcons[static_cast<int>(style.icon)] | kDefaults[style.default_button & 3];
  switch (MessageBoxW(window_, wide(prompt), wide(title), flags)) {
  case IDCANCEL:
    return BoxAnswer::kCancel;
  case IDABORT:
    return BoxAnswer::kAbort;
  case IDRETRY:
    return BoxAnswer::kRetry;
  case IDIGNORE:
    return BoxAnswer::kIgnore;
  case IDYES:
    return BoxAnswer::kYes;
  case IDNO:
    return BoxAnswer::kNo;
  default:
    return BoxAnswer::kOk;
  }
}

} // namespace teclix
