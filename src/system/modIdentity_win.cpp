// The installation's identity: the machine's own UUID when it has a usable one,
// otherwise one generated once and kept in the settings file.
#include <objbase.h>
#include <windows.h>

#include "profile/ClsWMI.h"
#include "settings/IniOperation.h"
#include "settings/SettingsKeys.h"
#include "system/TextWin.h"
#include "system/modIdentity.h"

namespace zel {
namespace {

using settings::kGeneral;
using settings::kInstalledUUID;

// "{xxxxxxxx-...}" -> "XXXXXXXX-...": no braces, upper-case digits.
std::string UuidFromGuidText(std::string_view guid) {
  std::string uuid;
  uuid.reserve(guid.size());
  for (const char c : guid) {
    if (c == '{' || c == '}') continue;
    uuid += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  }
  return uuid;
}

}  // namespace

std::string NewGuidText() {
  GUID guid;
  if (FAILED(CoCreateGuid(&guid))) return std::string();
  wchar_t buffer[40] = {};
  const int written = StringFromGUID2(guid, buffer, 40);  // characters including the NUL
  if (written <= 1) return std::string();
  return Narrow(std::wstring_view(buffer, static_cast<std::size_t>(written - 1)));
}

std::string GetInstalledUUID(ClsWMI& wmi, const std::string& settingsPath) {
  std::string machine;
  wmi.getUUIDInfo(machine);  // its own result does not matter: an empty UUID is unusable
  if (!IsInvalidUUID(machine)) {
    IniWrite(settingsPath, kGeneral, kInstalledUUID, machine);
    return machine;
  }
  std::string stored = IniRead(settingsPath, kGeneral, kInstalledUUID, "");
  if (!IsInvalidUUID(stored)) return stored;

  std::string generated = UuidFromGuidText(NewGuidText());
  IniWrite(settingsPath, kGeneral, kInstalledUUID, generated);
  return generated;
}

void EnsureInstalledUUID(ClsWMI& wmi, const std::string& settingsPath) {
  if (IsInvalidUUID(IniRead(settingsPath, kGeneral, kInstalledUUID, ""))) GetInstalledUUID(wmi, settingsPath);
}

std::array<int, 2> GetScreenSize() { return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}; }

}  // namespace zel
