// The Office detection on this machine: associations under HKEY_CLASSES_ROOT, add-in
// keys under HKEY_CURRENT_USER, and the handler's file version.
#include <windows.h>

#include <optional>
#include <tuple>

#include "profile/FileVersion.h"
#include "profile/OfficeDetection.h"
#include "profile/Registry_win.h"
#include "system/Guarded.h"
#include "system/Platform.h"
#include "system/Text_win.h"

namespace zel {
namespace {

// The default value of an HKEY_CLASSES_ROOT key; no value when the read fails.
// Association texts are only ever used in lower case (ProgIDs as key names, which the
// registry compares without case), so they are lowered here with the system's rules
// for every script.
std::optional<std::string> ClassesRootDefault(const std::string& key) {
  const auto value = RegTryReadValue(HKEY_CLASSES_ROOT, key, "");
  if (!value) return std::nullopt;
  return LowerText(RegValueText(*value));
}

}  // namespace

bool GetDefaultDocApp(DocAppInfo& info) {
  info = DocAppInfo{};
  for (const char* extension : {".docx", ".xlsx", ".doc", ".xls"}) {
    const auto progId = ClassesRootDefault(extension);
    if (!progId || progId->empty() || *progId == "docfile") continue;
    const auto command = ClassesRootDefault(*progId + "\\shell\\Open\\command");
    if (!command || command->empty()) continue;

    const ShellCommand split = SplitShellCommand(*command);
    info.ExePath = split.program;
    // A bare path is its own name, and no version is looked for.
    std::tie(info.AppName, info.Version) =
        split.hasSeparator ? AppFromFileVersion(split.program, GetFileVersion(split.program))
                           : std::pair<std::string, std::string>(split.program, "0");
    break;
  }
  return CompleteDocApp(info);
}

std::string GetOfficeAddins() {
  constexpr const char* kNoAddins = "{}";
  // Any failure abandons the list.
  return Guarded<std::string>("Office add-ins", kNoAddins, [&]() -> std::string {
    std::vector<AddinMember> members;
    for (const std::string app : {"Word", "Excel", "PowerPoint"}) {
      const std::string addinsKey = "Software\\Microsoft\\Office\\" + app + "\\Addins";
      long count = 0;
      const std::vector<std::string> subKeys = RegEnumSubKeys(HKEY_CURRENT_USER, addinsKey, count);
      if (subKeys.empty()) continue;

      std::vector<std::string>& entries = members.emplace_back(app, std::vector<std::string>()).second;
      for (const std::string& subKey : subKeys) {
        if (subKey.starts_with("OneNote.")) {
          CurrentPlatform().PumpMessages();
          continue;
        }
        const std::string key = addinsKey + "\\" + subKey;
        const auto loadBehavior = RegTryReadValue(HKEY_CURRENT_USER, key, "LoadBehavior");
        if (!loadBehavior) continue;
        const auto enabled = RegValueWholeNumber(*loadBehavior);
        if (!enabled) return kNoAddins;  // a LoadBehavior that is no number spoils the whole list
        if (*enabled < 1) continue;

        const auto description = RegTryReadValue(HKEY_CURRENT_USER, key, "Description");
        std::string entry = AddinEntry(subKey, description ? RegValueText(*description) : std::string());
        if (!entry.empty()) entries.push_back(std::move(entry));  // duplicates stay
      }
    }
    return AddinListText(members);
  });
}

std::string GetDocShellAddins(const std::string& appName) {
  // Add-ins are listed only for Microsoft Office handlers, never for WPS.
  if (appName == "winword" || appName == "moc") return GetOfficeAddins();
  return "{}";
}

}  // namespace zel
