// What the Windows backend's files share: its constants and small conversions.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace teclix::win32 {

inline constexpr wchar_t kWindowClass[] = L"TeclixForm1";
inline constexpr UINT_PTR kWakeTimer = 1;
// The hotkey's identifier for RegisterHotKey.
inline constexpr int kHotkeyId = 0xBFFF;
inline constexpr UINT kWakeIntervalMs = 90;
// A raw press of the hotkey's key is looked at again this long after it came: by
// then the hotkey message it made, if any, has been taken.
inline constexpr UINT_PTR kHotkeyCheckTimer = 2;
inline constexpr UINT kHotkeyCheckMs = 300;
// Input events are handed to the system in batches of about this many, and the
// focus is checked before each batch: a few characters at most (2 events each, 4
// with Shift, 6 or 8 with AltGr) can follow a focus change.
inline constexpr std::size_t kBatch = 16;
// How long a clipboard that another program holds open is retried.
inline constexpr ULONGLONG kClipboardWaitMs = 100;

inline const wchar_t *wide(const std::u16string &s) {
  return reinterpret_cast<const wchar_t *>(s.c_str());
}

inline std::u16string from_wide(const wchar_t *s, std::size_t n) {
  return std::u16string(reinterpret_cast<const char16_t *>(s), n);
}

inline HWND to_hwnd(WindowHandle h) {
  return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(h));
}
inline WindowHandle from_hwnd(HWND h) {
  return reinterpret_cast<std::uintptr_t>(h);
}

inline std::u16string locale_string(LCTYPE type, const char16_t *fallback) {
  std::array<wchar_t, 16> buf{};
  const int n = GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, type, buf.data(), buf.size());
  if (n <= 1) {
    return fallback;
  }
  return from_wide(buf.data(), static_cast<std::size_t>(n - 1));
}

// True while the key is physically or logically down for the whole system.
inline bool down(int vk) {
  return (GetAsyncKeyState(vk) & 0x8000) != 0;
}

} // namespace teclix::win32
