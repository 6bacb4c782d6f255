// The installation's identity: the machine's own UUID when it has a usable one,
// otherwise one generated once and kept in the settings file.
#pragma once
#include <string>
#include <string_view>

namespace zel {

class ClsWMI;
class SettingsFile;

std::string NewGuidText();                   // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", 38 characters
bool IsInvalidUUID(std::string_view uuid);   // True for a placeholder
std::string GetInstalledUUID(ClsWMI& wmi, const SettingsFile& settings);
void EnsureInstalledUUID(ClsWMI& wmi, const SettingsFile& settings);

}  // namespace zel
