// config.dat: an INI file in the per-user product folder, read and written only
// through the system's profile functions (ANSI code page at the edge).
#pragma once
#include <string>

namespace zel {

// %AppData%\zelGuard\config.dat; creates the folder when missing. Failure to create
// it is reported by an empty result.
std::string ConfigFilePath();
std::string IniRead(const std::string& path, const std::string& section, const std::string& key,
                    const std::string& defaultValue);
void IniWrite(const std::string& path, const std::string& section, const std::string& key,
              const std::string& value);

}  // namespace zel
