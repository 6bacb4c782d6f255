// Starting and ending other programs. The command lines are built by the portable rules
// of Process.h; this file adds the system calls and the files they look at.
#include "system/Process_win.h"

#include <psapi.h>
#include <tlhelp32.h>

#include "system/FileListing.h"
#include "system/Folders.h"
#include "system/Guarded.h"
#include "system/OsInfo.h"
#include "system/Platform.h"
#include "system/Process.h"
#include "system/SystemLibrary_win.h"
#include "system/Text_win.h"

namespace zel {
namespace {

bool FileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(ToAnsi(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Vista and later; nullptr on Windows XP.
decltype(&QueryFullProcessImageNameW) QueryFullImageName() {
  static const auto function =
      SystemFunction<decltype(&QueryFullProcessImageNameW)>(L"kernel32.dll", "QueryFullProcessImageNameW");
  return function;
}

}  // namespace

std::wstring ProcessImagePathFromDevice(HANDLE process) {
  static const auto imageFileName =
      SystemFunction<decltype(&GetProcessImageFileNameW)>(L"psapi.dll", "GetProcessImageFileNameW");
  wchar_t image[MAX_PATH];
  const DWORD length = imageFileName ? imageFileName(process, image, MAX_PATH) : 0;
  if (length == 0) return {};
  const std::wstring_view onDevice(image, length);
  wchar_t drives[105];  // "A:\" to "Z:\", each ended by a null
  const DWORD drivesLength = GetLogicalDriveStringsW(104, drives);
  for (const wchar_t* drive = drives; drivesLength <= 104 && *drive; drive += wcslen(drive) + 1) {
    const wchar_t letter[] = {drive[0], L':', L'\0'};
    wchar_t device[MAX_PATH];
    if (!QueryDosDeviceW(letter, device, MAX_PATH)) continue;
    const std::wstring_view prefix(device);
    if (onDevice.size() > prefix.size() && onDevice.substr(0, prefix.size()) == prefix &&
        onDevice[prefix.size()] == L'\\')
      return std::wstring(letter) + std::wstring(onDevice.substr(prefix.size()));
  }
  return {};
}

std::wstring ProcessImagePath(HANDLE process) {
  const auto queryFullImageName = QueryFullImageName();
  if (!queryFullImageName) return ProcessImagePathFromDevice(process);
  wchar_t image[MAX_PATH];
  DWORD length = MAX_PATH;
  return queryFullImageName(process, 0, image, &length) ? std::wstring(image, length) : std::wstring();
}

bool StartProcess(const std::string& program, const std::string& arguments, ProcessInfo& info) {
  // An unbuildable line is empty and fails in the creation below, like any other bad line.
  std::string line = Guarded<std::string>("command line", {}, [&] { return ToAnsi(StartCommandLine(program, arguments)); });
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION created{};
  const bool ok = CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                 &created) != FALSE;
  // Give the started program time to come up (and to take its own markers) before
  // the caller looks at it; a failed start waits just the same.
  CurrentPlatform().SleepMs(500);
  if (!ok) return false;
  UniqueKernelHandle thread(created.hThread);
  info.process.Reset(created.hProcess);
  info.processId = created.dwProcessId;
  info.threadId = created.dwThreadId;
  return true;
}

DWORD ShellStart(const std::string& commandLine, int windowStyle) {
  return Guarded<DWORD>("shell start", 0, [&]() -> DWORD {
    std::string line = ToAnsi(commandLine);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(windowStyle);
    PROCESS_INFORMATION created{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &created)) {
      return 0;
    }
    UniqueKernelHandle thread(created.hThread);
    UniqueKernelHandle process(created.hProcess);  // not waited for
    return created.dwProcessId;
  });
}

bool LaunchProgram(const std::string& program, const std::string& arguments, int windowStyle,
                   bool throughShell) {
  return Guarded("program start", false, [&] {
    if (!NormalFileListed(program)) return false;
    const bool xp = IsWinXP();
    // XP prefers an external manifest beside the program to the one embedded in it,
    // and one written for newer systems can keep the program from starting there.
    if (xp) {
      const std::string manifest = ManifestPathOf(program);
      if (FileExists(manifest)) DeleteFileA(ToAnsi(manifest).c_str());
    }
    // From Vista on the shell program opens the program on the user's behalf; XP
    // starts it directly.
    const std::string shellProgram = throughShell && !xp ? GetExplorerPath() : std::string();
    return ShellStart(LaunchCommandLine(program, arguments, shellProgram), windowStyle) != 0;
  });
}

bool EndProcessesRunningFrom(const std::string& path, DWORD waitMs) {
  return Guarded("ending the processes of a file", false, [&] {
    const std::string wanted = LowerText(path);
    // A failed snapshot is INVALID_HANDLE_VALUE, as with files.
    const UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    bool found = false, ended = true;
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more;
         more = Process32NextW(snapshot.Get(), &entry)) {
      if (entry.th32ProcessID == GetCurrentProcessId()) continue;
      // Windows XP knows no limited query right.
      const DWORD query =
          QueryFullImageName() ? PROCESS_QUERY_LIMITED_INFORMATION : PROCESS_QUERY_INFORMATION;
      const UniqueKernelHandle process(
          OpenProcess(query | PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID));
      if (!process || LowerText(Narrow(ProcessImagePath(process.Get()))) != wanted) continue;
      found = true;
      // One that is ending already refuses the termination; the wait tells.
      TerminateProcess(process.Get(), 1);
      ended = WaitForSingleObject(process.Get(), waitMs) == WAIT_OBJECT_0 && ended;
    }
    return found && ended;
  });
}

bool ShellRun(const std::string& program, const std::string& arguments, int windowStyle) {
  return LaunchProgram(program, arguments, windowStyle, false);
}

bool ShellRunViaExplorer(const std::string& program, int windowStyle) {
  return LaunchProgram(program, std::string(), windowStyle, true);
}

}  // namespace zel
