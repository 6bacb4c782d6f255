// Starts a program the way a standard user would: not elevated, with the limited
// token linked to this process's token, for the demo (scripts/demo.sh).
//
//   zelrunlimited.exe [--watch STATUS_FILE CLOSE_FILE] PROGRAM [ARGS...]
//
// Waits for the program and ends with its exit code. With --watch it also follows the
// program's progress window: every status text it shows is added to STATUS_FILE as a
// line (UTF-8); when the button is enabled the last line is "END " and the status, and
// the button is clicked once CLOSE_FILE exists; when the window closes by itself (an
// installation started) the last line is "CLOSED".
// Exit code 120 when the program could not be started, 121 when the watch timed out.
#include <windows.h>

#include <cwchar>
#include <string>

#include "support/E2eWorld_win.h"
#include "system/Text_win.h"
#include "support/WorldControl_win.h"

namespace {

constexpr DWORD kWatchMs = 300000;

std::wstring Quoted(const std::wstring& arg) {
  return arg.empty() || arg.find_first_of(L" \t") != std::wstring::npos ? L"\"" + arg + L"\"" : arg;
}

bool Watch(const zel::test::Child& child, const std::string& statusFile, const std::string& closeFile) {
  HWND window = zel::test::FindProgressWindow(child.Pid(), kWatchMs);
  if (!window) return false;
  std::string trace;
  std::wstring shown;
  for (const DWORD start = GetTickCount();; Sleep(20)) {
    if (!IsWindow(window)) {
      zel::test::WriteBytes(statusFile, trace + "CLOSED\n");
      return true;
    }
    const std::wstring status = zel::test::StatusText(window);
    if (status != shown) {
      shown = status;
      trace += zel::Narrow(status) + "\n";
      zel::test::WriteBytes(statusFile, trace);
    }
    const HWND button = zel::test::ChildOfClass(window, L"Button");
    if (button && IsWindowEnabled(button)) break;
    if (GetTickCount() - start >= kWatchMs) return false;
  }
  zel::test::WriteBytes(statusFile, trace + "END " + zel::Narrow(shown) + "\n");
  const DWORD start = GetTickCount();
  while (!zel::test::PathExists(closeFile) && child.Running() && GetTickCount() - start < kWatchMs) Sleep(100);
  zel::test::ClickButton(window);
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  int first = 1;
  std::string statusFile, closeFile;
  if (argc > 3 && std::wcscmp(argv[1], L"--watch") == 0) {
    statusFile = zel::Narrow(argv[2]);
    closeFile = zel::Narrow(argv[3]);
    first = 4;
  }
  if (first >= argc) return 2;
  std::wstring commandLine;
  for (int i = first; i < argc; ++i) commandLine += (i > first ? L" " : L"") + Quoted(argv[i]);

  zel::test::Child child = zel::test::StartLimited(commandLine);
  if (child.Pid() == 0) return 120;
  if (!statusFile.empty() && !Watch(child, statusFile, closeFile)) return 121;
  DWORD code = 0;
  if (!child.WaitExit(INFINITE, &code)) return 120;
  return static_cast<int>(code);
}
