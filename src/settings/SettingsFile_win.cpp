#include "settings/SettingsFile.h"

#include <windows.h>

#include "settings/SettingsKeys.h"
#include "system/FileListing.h"
#include "system/Text.h"
#include "system/Text_win.h"
#include "system/Folders.h"

namespace zel {

std::optional<SettingsFile> SettingsFile::Open() {
  const std::string folder = GetUserDataDir();
  if (!CreateFolderIfMissing(folder)) return std::nullopt;
  return SettingsFile(folder + '\\' + settings::kFileName);
}

std::string SettingsFile::Read(const std::string& section, const std::string& key,
                               const std::string& defaultValue) const {
  const std::string& path = path_;
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

void SettingsFile::Write(const std::string& section, const std::string& key, const std::string& value) const {
  const std::string& path = path_;
  // A write that fails (read-only file, missing folder) is lost; the next read gives the old value.
  // Without a path nothing is written: the system would take a relative name for a file in C:\Windows.
  if (path.empty()) return;
  WritePrivateProfileStringA(ToAnsi(section).c_str(), ToAnsi(key).c_str(), ToAnsi(value).c_str(),
                             ToAnsi(path).c_str());
}

}  // namespace zel
