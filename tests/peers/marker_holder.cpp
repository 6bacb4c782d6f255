// A double of one of the product's processes: announces itself with a run marker and
// lives on until it is killed or its hold time is up.
//
//   marker_holder.exe NAME FOLDER [HOLD_MS]
//
// FOLDER "-" means the product data folder. Without HOLD_MS it waits until killed.
// Exit code: 0 when CreateRunMarker reported True, 1 when False, 2 for bad arguments.
#include <windows.h>

#include <cwchar>
#include <string>

#include "system/Text_win.h"
#include "system/RunMarkers.h"

int wmain(int argc, wchar_t** argv) {
  if (argc < 3 || argc > 4) return 2;
  const std::string name = zel::Narrow(argv[1]);
  const std::string folder = std::wcscmp(argv[2], L"-") == 0 ? std::string() : zel::Narrow(argv[2]);
  const bool created = zel::CreateRunMarker(name, folder);
  if (argc == 4) {
    ::Sleep(static_cast<DWORD>(std::wcstoul(argv[3], nullptr, 10)));
  } else {
    for (;;) ::Sleep(INFINITE);
  }
  return created ? 0 : 1;
}
