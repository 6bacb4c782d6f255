// zelupdateget.exe: the product's companion downloader. Started by the updater as
//   zelupdateget.exe "<task file>" "<folder>"
// it fetches the package the task file names into <folder>\zelupdatepkg.dwn and ends
// with an exit code that tells how it went (see HelpText). It has no window.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "companion/CompanionDownload.h"
#include "protocol/Utf8TextFile_win.h"
#include "system/Text_win.h"
#include "system/Platform_win.h"

namespace {

using zel::companion::Exit;

std::vector<std::string> Arguments() {
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> args;
  for (int i = 1; argv && i < count; ++i) args.push_back(zel::Narrow(argv[i]));
  LocalFree(argv);
  return args;
}

// Prints to the standard output it was given, or to the console it was started from;
// with neither (a start from the desktop) it shows the text in a message box.
void ShowHelp(const std::string& text) {
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD written = 0;
  if (out && out != INVALID_HANDLE_VALUE &&
      WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr))
    return;
  if (AttachConsole(ATTACH_PARENT_PROCESS)) {
    const zel::UniqueFile console(CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                              OPEN_EXISTING, 0, nullptr));
    const std::wstring wide = zel::Widen(text);
    if (console && WriteConsoleW(console.Get(), wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr))
      return;
  }
  MessageBoxW(nullptr, zel::Widen(text).c_str(), L"zelupdateget", MB_OK | MB_ICONINFORMATION);
}

Exit Run() {
  const auto args = zel::companion::ParseArguments(Arguments());
  if (!args) return Exit::kUsage;
  if (args->help) {
    ShowHelp(zel::companion::HelpText());
    return Exit::kDone;
  }
  std::string text;
  zel::clsUTF8TextFile().ReadFromUTF8File(args->taskFile, text);
  const auto task = zel::ParseTaskFileText(text);
  if (!task) return Exit::kBadTask;
  return zel::companion::DownloadPackageFile(*task, args->folder);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  zel::PlatformScope platform(zel::Win32Platform());
  return static_cast<int>(Run());
}
