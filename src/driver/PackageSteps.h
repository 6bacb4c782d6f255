// After the service offered an update: the package information of the answer is
// checked, the package downloaded into the update work folder and verified by size
// and MD5, then installed directly (full administrator rights), through a fresh
// elevated installation when the service asks for one and the user agrees, or by
// handing it to the upgrading copy through the package cache.
#pragma once
#include <string>

#include "driver/UpdateQuery.h"

namespace zel {

struct RunState;

// How a run ends. Every step of a run hands its ending back up, and the run carries it
// out in one place.
enum class RunEnding {
  kCommon,     // the common ending: "退出" enabled, a hidden window unloaded
  kImmediate,  // the window unloaded and the process ended at once
  kNone,       // nothing more: the process returns (an upgrading copy, a hand-over taken)
};

// The outcome of checking the package information: the status that ends the run, or
// the decoded package address. A signed answer must name the package's SHA-256 too.
struct PackageCheck {
  std::string failure;  // "" when the information is usable
  std::string address;
};
PackageCheck CheckPackageInfo(const PackageInfo& info, bool signedAnswer);

// "升级包校验值错误:" + digest, a line break and the support contact line.
std::string DigestErrorText(const std::string& digest);

// Waits at most 60 one-second polls for the installing marker, which tells that an
// installation runs; true when it appeared (Windows build).
bool WaitForInstallingMarker();

// After an installation was started (directly, or by the upgrading copy): waits at most
// 60 one-second polls for the installing marker. When it appears the process is to end
// at once, so the installer can replace this program's files; on Windows XP or older
// it shows "升级完成" and asks for the common ending instead. When it never appears:
// "错误: 升级超时..." and the common ending (Windows build).
RunEnding AwaitInstallation();

// The package steps of a checking instance, from the offered package to the run's
// ending (Windows build).
RunEnding RunPackageSteps(const RunState& run, const PackageInfo& info, bool elevated);

}  // namespace zel
