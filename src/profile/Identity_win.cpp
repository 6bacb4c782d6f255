// The installation's identity: the machine's own UUID when it has a usable one,
// otherwise one generated once and kept in the settings file.
#include <objbase.h>
#include <windows.h>

#include "settings/SettingsFile.h"
#include "settings/SettingsKeys.h"
#include "system/Text_win.h"
#include "profile/Identity.h"
#include "system/Wmi.h"

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

std::string GetInstalledUUID(ClsWMI& wmi, const SettingsFile& settings) {
  // The query's own result does not matter: an empty UUID is unusable anyway.
  const std::string machine = wmi.getUUIDInfo().value;
  if (!IsInvalidUUID(machine)) {
    settings.Write(kGeneral, kInstalledUUID, machine);
    return machine;
  }
  std::string stored = settings.Read(kGeneral, kInstalledUUID, "");
  if (!IsInvalidUUID(stored)) return stored;

  std::string generated = UuidFromGuidText(NewGuidText());
  settings.Write(kGeneral, kInstalledUUID, generated);
  return generated;
}

void EnsureInstalledUUID(ClsWMI& wmi, const SettingsFile& settings) {
  if (IsInvalidUUID(settings.Read(kGeneral, kInstalledUUID, ""))) GetInstalledUUID(wmi, settings);
}

}  // namespace zel
