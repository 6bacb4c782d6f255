// The machine profile from this machine: WMI, the installation identity, the
// screen, and the registry's https and document handlers.
#include <windows.h>

#include "profile/Identity.h"
#include "profile/MachineProfile.h"
#include "profile/OfficeDetection.h"
#include "profile/Registry_win.h"
#include "system/Guarded.h"
#include "system/OsInfo.h"
#include "system/Platform.h"
#include "system/Text_win.h"
#include "system/Wmi.h"

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
  MachineFacts facts;
  // A failure ends these steps where it happens: what they collected before it stays,
  // the rest keeps its defaults.
  GuardedStep("machine profile", [&] {
    if (!sharedWmi) sharedWmi = CurrentPlatform().BindWmi();
    if (!sharedWmi) return;
    if (full) {
      // The queries empty their outputs first, so a failing query sends empty items.
      const WmiOs os = sharedWmi->getOsInfo().value;
      facts.osName = os.caption;
      facts.osVer = os.version;
      const WmiCpu cpu = sharedWmi->getCpuInfo().value;
      facts.cpu = cpu.name;
      facts.arch = cpu.addressWidth;
    }
    facts.uuid = GetInstalledUUID(*sharedWmi, settings);
    const auto [width, height] = GetScreenSize();
    facts.resolution = ResolutionText(width, height);
    facts.httpsShellApp = GetHttpsShellApp();
  });
  if (full) facts.docShellProfile = GetDocShellProfile();
  facts.osMajorVersion = GetOSMajorVersion();
  return BuildMachineProfile(facts, full);
}

}  // namespace zel
