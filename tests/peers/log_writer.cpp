// A process of the product that logs: appends LINES numbered lines to the diagnostics
// log in FOLDER, whose files hold LIMIT bytes each, then ends. It starts once the
// event "Local\ZelLogWritersGo" is set (or after 10 s), so that writers run side by side.
//
//   log_writer.exe FOLDER LINES LIMIT
#include <windows.h>

#include <cwchar>
#include <string>

#include "system/DiagnosticsLog.h"
#include "system/Text_win.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) return 2;
  zel::OpenDiagnosticsLog(zel::Narrow(argv[1]), std::wcstoul(argv[3], nullptr, 10));
  const unsigned long lines = std::wcstoul(argv[2], nullptr, 10);
  const HANDLE go = CreateEventW(nullptr, TRUE, FALSE, L"Local\\ZelLogWritersGo");
  WaitForSingleObject(go, 10000);
  // Long enough that a torn line would show; Chinese as the status texts are.
  const std::string padding = "下载升级包......" + std::string(64, '.');
  for (unsigned long line = 0; line < lines; ++line)
    zel::Log("line", std::to_string(GetCurrentProcessId()) + " " + std::to_string(line) + " " + padding);
  return 0;
}
