// The machine profile at the start of every update query: key=value items joined
// by "&", every value hex-armoured (HexEncodeText). The short form names the
// installation and the Windows major version; the full form adds the operating
// system, processor, screen, https handler and the document handler with its add-ins.
#pragma once
#include <memory>
#include <string>
#include <string_view>

namespace zel {

class ClsWMI;
class SettingsFile;

// What the profile reports. The initial values are the ones sent when a fact
// cannot be collected.
struct MachineFacts {
  std::string uuid;
  int osMajorVersion = 0;
  std::string arch = "32";
  std::string osName = "unknown";
  std::string osVer = "0.0.0";
  std::string cpu = "unknown";
  std::string resolution = "0*0";
  std::string httpsShellApp = "unknown";
  std::string docShellProfile;  // already hex-armoured; full form only
};

// Short form: UUID=..&OSMajorVer=..; full form: the eight items of the facts in
// order, then the document profile as it is.
std::string BuildMachineProfile(const MachineFacts& facts, bool full);

// The Resolution item of a screen: width*height, or "0*0" when the width is 0.
std::string ResolutionText(int width, int height);

// DocShellApp=..&DocShellVer=..&OfficeAddins=.., values hex-armoured.
std::string DocShellProfileText(const std::string& appName, const std::string& version,
                                const std::string& addins);
// The document profile of a machine without a detectable handler.
std::string DefaultDocShellProfile();

// Program name of a shell command, lower case, without folder and ".exe":
// "C:\Program Files\B\Chrome.exe" --x gives chrome; an unquoted command is cut at
// its first space. Only A-Z are lowered here: callers pass system text already lowered.
std::string ExeNameFromCommand(std::string_view command);

// The profile of this machine (Windows build only). sharedWmi is the run's one WMI
// instance; it is bound here when still missing. settings go to the installation
// identity, which may store the UUID there. Without WMI, or when a step from the WMI
// queries to the https handler fails, the remaining ones of those steps keep their
// defaults; the document profile (full form) and the major version are still
// collected.
std::string GetMachineProfile(bool full, const SettingsFile& settings, std::unique_ptr<ClsWMI>& sharedWmi);
// Lower-case program name (no ".exe") of the https handler, or "unknown".
std::string GetHttpsShellApp();
// The document profile of the default document handler and its add-ins.
std::string GetDocShellProfile();

}  // namespace zel
