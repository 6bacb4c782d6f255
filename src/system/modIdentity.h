// The installation's identity and the screen size.
#pragma once
#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace zel {

class ClsWMI;

std::string NewGuidText();                   // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", 38 characters
bool IsInvalidUUID(std::string_view uuid);   // True for a placeholder
std::string GetInstalledUUID(ClsWMI& wmi, const std::string& settingsPath);
void EnsureInstalledUUID(ClsWMI& wmi, const std::string& settingsPath);
std::array<int, 2> GetScreenSize();          // primary screen width, height in pixels
bool AppendToArray(std::vector<std::string>& list, const std::string& item, bool unique);

}  // namespace zel
