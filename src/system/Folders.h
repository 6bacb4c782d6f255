// The folders the program works in, and temporary files in the update work folder.
// How a folder is built from an environment variable is portable, so the rule is
// tested natively; the rest asks the system.
#pragma once
#include <string>
#include <string_view>

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

// The variable's value, a backslash unless the value already ends with one, then the
// folder name. An empty (or unset) value therefore gives "\" followed by the name.
std::string JoinEnvFolder(std::string_view value, std::string_view name);

}  // namespace zel
