#include "system/Folders.h"

#include <windows.h>

#include "system/FileListing.h"
#include "system/Folders.h"
#include "system/Text.h"
#include "system/Text_win.h"

namespace zel {
namespace {

constexpr char kProductFolder[] = "zelGuard";
constexpr char kUpdateWorkFolder[] = "zelupdate_tmp";
constexpr char kTempFilePrefix[] = "zqtmp";

// The variable's value; unset reads as empty.
std::string Env(const wchar_t* name) {
  const DWORD needed = GetEnvironmentVariableW(name, nullptr, 0);
  if (needed == 0) return {};
  std::wstring value(needed, L'\0');
  const DWORD length = GetEnvironmentVariableW(name, value.data(), needed);
  value.resize(length < needed ? length : 0);
  return Narrow(value);
}

}  // namespace

std::string GetProgramFilePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return Narrow(path);
    }
    path.resize(path.size() * 2);
  }
}

std::string GetAppDir() {
  const std::string path = GetProgramFilePath();
  return path.substr(0, path.find_last_of('\\') + 1);
}

std::string GetUpdateTempDir() {
  const std::string folder = JoinEnvFolder(Env(L"TEMP"), kUpdateWorkFolder);
  CreateFolderIfMissing(folder);  // a folder that cannot be made shows when it is used
  return folder + '\\';
}

std::string GetUserDataDir() { return JoinEnvFolder(Env(L"AppData"), kProductFolder); }

std::string GetProductDataDir() {
  const std::string programData = Env(L"ProgramData");
  if (programData.empty()) return GetAppDir();  // systems before Vista have no ProgramData
  const std::string folder = JoinEnvFolder(programData, kProductFolder);
  if (!CreateFolderIfMissing(folder)) return {};
  return folder + '\\';
}

std::string GetWindowsDir() { return JoinEnvFolder(Env(L"WINDIR"), ""); }

std::string GetExplorerPath() { return GetWindowsDir() + "explorer.exe"; }

std::string GetTempFilePath() {
  // The system picks a free number, creates the empty file and writes its path; on
  // failure the buffer stays all NUL and the result is empty.
  std::string buffer(512, '\0');
  GetTempFileNameA(ToAnsi(GetUpdateTempDir()).c_str(), kTempFilePrefix, 0, buffer.data());
  return StripNuls(FromAnsi(buffer));
}

}  // namespace zel
