// The machine profile from this machine: WMI, the installation identity, the
// screen, and the registry's https and document handlers.
#include <windows.h>

#include "system/Wmi.h"
#include "profile/Registry_win.h"
#include "profile/MachineProfile.h"
#include "profile/OfficeDetection.h"
#include "system/Text_win.h"
#include "profile/Identity.h"
#include "system/OsInfo.h"
#include "system/Platform.h"

namespace zel {
namespace {

constexpr const char* kHttpsUserChoiceKey =
    "Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\https\\UserChoice";

}  // namespace

std::string GetHttpsShellApp() {
  // The user's choice names a ProgID whose command decides, even when that command is
  // missing; only without a choice does the https class itself answer.
  const auto progId = RegTryReadValue(HKEY_CURRENT_USER, kHttpsUserChoiceKey, "ProgId");
  const std::string progIdText = progId ? RegValueText(*progId) : std::string();
  const std::string commandKey =
      (progIdText.empty() ? std::string("https") : progIdText) + "\\shell\\open\\command";
  const auto command = RegTryReadValue(HKEY_CLASSES_ROOT, commandKey, "");
  const std::string commandText = command ? RegValueText(*command) : std::string();
  return commandText.empty() ? "unknown" : ExeNameFromCommand(LowerText(commandText));
}

std::string GetDocShellProfile() {
  DocAppInfo app;
  GetDefaultDocApp(app);
  if (app.ExePath.empty()) return DefaultDocShellProfile();
  const std::string name = LowerText(app.AppName);
  return DocShellProfileText(name, app.Version, GetDocShellAddins(name));
}

std::string GetMachineProfile(bool full, const SettingsFile& settings, std::unique_ptr<ClsWMI>& sharedWmi) {
  MachineProbes probes;
  probes.wmi = [&sharedWmi]() -> ClsWMI* {
    if (!sharedWmi) sharedWmi = CurrentPlatform().BindWmi();
    return sharedWmi.get();
  };
  probes.installedUUID = [&settings](ClsWMI& wmi) { return GetInstalledUUID(wmi, settings); };
  probes.screenSize = GetScreenSize;
  probes.httpsShellApp = GetHttpsShellApp;
  probes.docShellProfile = GetDocShellProfile;
  probes.osMajorVersion = GetOSMajorVersion;
  return BuildMachineProfile(CollectMachineFacts(full, probes), full);
}

}  // namespace zel
