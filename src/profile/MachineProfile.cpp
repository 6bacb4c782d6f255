#include "profile/MachineProfile.h"

#include <exception>

#include "system/Guarded.h"
#include "system/Wmi.h"
#include "profile/OfficeDetection.h"
#include "protocol/TextCodecs.h"

namespace zel {
namespace {

// The steps that need WMI, in order; returns at the first one that cannot run.
void CollectWmiSteps(bool full, const MachineProbes& probes, MachineFacts& facts) {
  ClsWMI* wmi = probes.wmi();
  if (!wmi) return;
  if (full) {
    // The queries empty their outputs first, so a failing query sends empty items.
    const WmiOs os = wmi->getOsInfo().value;
    facts.osName = os.caption;
    facts.osVer = os.version;
    const WmiCpu cpu = wmi->getCpuInfo().value;
    facts.cpu = cpu.name;
    facts.arch = cpu.addressWidth;
  }
  facts.uuid = probes.installedUUID(*wmi);
  const auto [width, height] = probes.screenSize();
  if (width != 0) facts.resolution = std::to_string(width) + "*" + std::to_string(height);
  facts.httpsShellApp = probes.httpsShellApp();
}

}  // namespace

std::string BuildMachineProfile(const MachineFacts& facts, bool full) {
  std::string profile = "UUID=" + HexEncodeText(facts.uuid) +
                        "&OSMajorVer=" + HexEncodeText(std::to_string(facts.osMajorVersion));
  if (!full) return profile;
  profile += "&Arch=" + HexEncodeText(facts.arch);
  profile += "&OSName=" + HexEncodeText(facts.osName);
  profile += "&OSVer=" + HexEncodeText(facts.osVer);
  profile += "&CPU=" + HexEncodeText(facts.cpu);
  profile += "&Resolution=" + HexEncodeText(facts.resolution);
  profile += "&HttpsShellApp=" + HexEncodeText(facts.httpsShellApp);
  profile += "&" + facts.docShellProfile;
  return profile;
}

std::string DocShellProfileText(const std::string& appName, const std::string& version,
                                const std::string& addins) {
  return "DocShellApp=" + HexEncodeText(appName) + "&DocShellVer=" + HexEncodeText(version) +
         "&OfficeAddins=" + HexEncodeText(addins);
}

std::string DefaultDocShellProfile() { return DocShellProfileText("unknown", "0", "{}"); }

std::string ExeNameFromCommand(std::string_view command) {
  return ProgramName(SplitShellCommand(command).program);
}

MachineFacts CollectMachineFacts(bool full, const MachineProbes& probes) {
  MachineFacts facts;
  // What was collected before a failure stays; the rest keeps its defaults.
  GuardedStep([&] { CollectWmiSteps(full, probes, facts); });
  if (full) facts.docShellProfile = probes.docShellProfile();
  facts.osMajorVersion = probes.osMajorVersion();
  return facts;
}

}  // namespace zel
