// Watches the edit control of a window while a text is typed into it, from
// another process, without sending it any input.
//
//   bench_win_probe.exe TITLE EXPECTED_LENGTH OUTPUT_FILE [STALL_MS] [TIMEOUT_MS]
//
// Finds the top-level window titled TITLE and its Edit child, empties it and
// prints "ready". Then reads the text length every few milliseconds until it
// reaches EXPECTED_LENGTH (UTF-16 units), stops changing for STALL_MS after it
// started, or TIMEOUT_MS pass. Writes the text, as UTF-8, to OUTPUT_FILE and
// prints "done LENGTH MS_SINCE_LAST_CHANGE".
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr DWORD kPollMs = 5;

LRESULT ask(HWND edit, UINT msg, WPARAM wparam, LPARAM lparam) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(edit, msg, wparam, lparam, SMTO_NORMAL, 5000, &result)) {
    return -1;
  }
  return static_cast<LRESULT>(result);
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

} // namespace

int wmain(int argc, wchar_t **argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: bench_win_probe TITLE EXPECTED_LENGTH OUTPUT_FILE [STALL_MS] "
                         "[TIMEOUT_MS]\n");
    return 2;
  }
  const LRESULT expected = _wtoi(argv[2]);
  const DWORD stall_ms = argc > 4 ? static_cast<DWORD>(_wtoi(argv[4])) : 3000;
  const DWORD timeout_ms = argc > 5 ? static_cast<DWORD>(_wtoi(argv[5])) : 300000;

  HWND top = nullptr;
  for (int i = 0; i < 200 && !top; ++i) {
    top = FindWindowW(nullptr, argv[1]);
    if (!top) {
      Sleep(50);
    }
  }
  HWND edit = top ? FindWindowExW(top, nullptr, L"Edit", nullptr) : nullptr;
  if (!edit) {
    std::fprintf(stderr, "bench_win_probe: no edit control in the window\n");
    return 1;
  }
  ask(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
  std::printf("ready\n");
  std::fflush(stdout);

  const DWORD start = GetTickCount();
  DWORD last_change = start;
  LRESULT length = ask(edit, WM_GETTEXTLENGTH, 0, 0);
  while (true) {
    Sleep(kPollMs);
    const DWORD now = GetTickCount();
    const LRESULT current = ask(edit, WM_GETTEXTLENGTH, 0, 0);
    if (current != length) {
      length = current;
      last_change = now;
    }
    if (length >= expected || (length > 0 && now - last_change >= stall_ms) ||
        now - start >= timeout_ms) {
      break;
    }
  }
  // Anything that comes after the expected length counts too.
  Sleep(200);
  const DWORD now = GetTickCount();
  const LRESULT final_length = ask(edit, WM_GETTEXTLENGTH, 0, 0);
  if (final_length != length) {
    length = final_length;
    last_change = now;
  }
  std::wstring text(static_cast<std::size_t>(length > 0 ? length : 0) + 1, L'\0');
  const LRESULT got = ask(edit, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(got > 0 ? got : 0));
  const std::string bytes = to_utf8(text);
  FILE *out = _wfopen(argv[3], L"wb");
  if (!out) {
    std::fprintf(stderr, "bench_win_probe: cannot write the output file\n");
    return 1;
  }
  std::fwrite(bytes.data(), 1, bytes.size(), out);
  std::fclose(out);
  std::printf("done %ld %lu\n", static_cast<long>(got),
              static_cast<unsigned long>(now - last_change));
  std::fflush(stdout);
  return 0;
}
