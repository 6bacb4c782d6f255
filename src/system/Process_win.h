// Starting other programs: a direct start that hands back a process handle to wait
// on, and shell starts (directly or through explorer.exe) by command line and window
// style. Ending the processes that run from a given file.
#pragma once
#include <windows.h>

#include <string>

#include "system/UniqueHandle_win.h"

namespace zel {

struct ProcessInfo {
  UniqueKernelHandle process;  // owned by the caller; the thread handle is already closed
  DWORD processId = 0;
  DWORD threadId = 0;
};

bool StartProcess(const std::string& program, const std::string& arguments, ProcessInfo& info);
bool LaunchProgram(const std::string& program, const std::string& arguments, int windowStyle,
                   bool throughShell);
bool ShellRun(const std::string& program, const std::string& arguments, int windowStyle);
bool ShellRunViaExplorer(const std::string& program, int windowStyle);

// The shell-style start under LaunchProgram (and the WMI class's taskkill): starts a
// command line as a new process whose first window gets windowStyle (SW_HIDE,
// SW_SHOWNORMAL) and hands back its process id, 0 when the start fails. Does not wait.
DWORD ShellStart(const std::string& commandLine, int windowStyle);

// The full path of a process's image (a handle with the query right); empty when it
// cannot be read. Windows XP names the image only on its volume's device
// (\Device\HarddiskVolume1\...): ProcessImagePathFromDevice turns that into a drive path.
std::wstring ProcessImagePath(HANDLE process);
std::wstring ProcessImagePathFromDevice(HANDLE process);

// Ends every process that runs from this file (its full path, in any letter case),
// this process apart, and waits up to waitMs for each to be gone so that the file is
// free again; true when one was found and every one found has ended.
bool EndProcessesRunningFrom(const std::string& path, DWORD waitMs);

}  // namespace zel
