// The folders the program works in, and temporary files in the update work folder.
#pragma once
#include <string>

namespace zel {

std::string GetProgramFilePath();  // full path of the running program file
std::string GetAppDir();          // folder of the running program file, trailing backslash
std::string GetUpdateTempDir();   // %TEMP%\zelupdate_tmp\ (created when missing)
std::string GetUserDataDir();     // %AppData%\zelGuard (no trailing backslash, never created here)
// %ProgramData%\zelGuard\ (created when missing; "" when it cannot be), or GetAppDir()
// on a system without ProgramData.
std::string GetProductDataDir();
std::string GetWindowsDir();      // %WINDIR% with a trailing backslash
std::string GetExplorerPath();    // GetWindowsDir() + "explorer.exe"
std::string GetTempFilePath();    // new empty "zqt....tmp" file in the work folder, or ""

}  // namespace zel
