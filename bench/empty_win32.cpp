// The floors for start-up measurements: a Win32 GUI program that does nothing, or
// (with the argument "window") one that only creates a hidden window, the least any
// program with a window pays for its connection to the display.
#include <windows.h>
#include <wchar.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR args, int) {
  if (args && wcsstr(args, L"window")) {
    HWND w = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    DestroyWindow(w);
  }
  return 0;
}
