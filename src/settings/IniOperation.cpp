#include "settings/IniOperation.h"

#include <windows.h>

#include "settings/SettingsKeys.h"
#include "system/FileListing.h"
#include "system/Text.h"
#include "system/TextWin.h"
#include "system/modFolders.h"

namespace zel {

std::string ConfigFilePath() {
  const std::string folder = GetUserDataDir();
  if (!CreateFolderIfMissing(folder)) return {};
  return folder + '\\' + settings::kFileName;
}

std::string IniRead(const std::string& path, const std::string& section, const std::string& key,
                    const std::string& defaultValue) {
  // A hidden or system settings file is not listed and reads as all defaults.
  if (!NormalFileListed(path)) return defaultValue;
  // Values are cut at 1023 bytes; an empty value reads as the default, like a missing key.
  std::string buffer(1024, '\0');
  const DWORD length =
      GetPrivateProfileStringA(ToAnsi(section).c_str(), ToAnsi(key).c_str(), ToAnsi(defaultValue).c_str(),
                               buffer.data(), static_cast<DWORD>(buffer.size()), ToAnsi(path).c_str());
  if (length == 0) return defaultValue;
  return StripNuls(FromAnsi(buffer));
}

void IniWrite(const std::string& path, const std::string& section, const std::string& key,
              const std::string& value) {
  // A write that fails (read-only file, missing folder) is lost; the next read gives the old value.
  // Without a path nothing is written: the system would take a relative name for a file in C:\Windows.
  if (path.empty()) return;
  WritePrivateProfileStringA(ToAnsi(section).c_str(), ToAnsi(key).c_str(), ToAnsi(value).c_str(),
                             ToAnsi(path).c_str());
}

}  // namespace zel
