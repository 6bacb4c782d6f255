#include "profile/MachineProfile.h"

#include "profile/OfficeDetection.h"
#include "protocol/TextCodecs.h"

namespace zel {

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

std::string ResolutionText(int width, int height) {
  return width == 0 ? "0*0" : std::to_string(width) + "*" + std::to_string(height);
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

}  // namespace zel
