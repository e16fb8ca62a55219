// Prints the version record of a Windows program, one "Name=value" a line, for
// the end-to-end tests:  version_probe.exe PROGRAM.exe
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

int wmain(int argc, wchar_t **argv) {
  if (argc != 2) {
    return 2;
  }
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(argv[1], &ignored);
  if (size == 0) {
    std::printf("no version record\n");
    return 1;
  }
  std::vector<unsigned char> data(size);
  GetFileVersionInfoW(argv[1], 0, size, data.data());

  VS_FIXEDFILEINFO *fixed = nullptr;
  UINT length = 0;
  if (VerQueryValueW(data.data(), L"\\", reinterpret_cast<void **>(&fixed), &length)) {
    std::printf("FileVersionNumber=%u.%u.%u.%u\n", unsigned{HIWORD(fixed->dwFileVersionMS)},
                unsigned{LOWORD(fixed->dwFileVersionMS)}, unsigned{HIWORD(fixed->dwFileVersionLS)},
                unsigned{LOWORD(fixed->dwFileVersionLS)});
  }
  WORD *translation = nullptr;
  if (VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation",
                     reinterpret_cast<void **>(&translation), &length) &&
      length >= 4) {
    std::printf("Translation=%04X %u\n", translation[0], translation[1]);
  }
  for (const wchar_t *name :
       {L"FileVersion", L"ProductVersion", L"ProductName", L"InternalName", L"OriginalFilename"}) {
    const std::wstring path = std::wstring(L"\\StringFileInfo\\0C0A04B0\\") + name;
    wchar_t *value = nullptr;
    if (VerQueryValueW(data.data(), path.c_str(), reinterpret_cast<void **>(&value), &length)) {
      std::printf("%ls=%ls\n", name, value);
    }
  }
  HMODULE module = LoadLibraryExW(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (HRSRC icon = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(14))) {
    std::printf("IconGroupBytes=%lu\n", static_cast<unsigned long>(SizeofResource(module, icon)));
  }
  if (FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24))) {
    std::printf("Manifest=yes\n");
  }
  return 0;
}
