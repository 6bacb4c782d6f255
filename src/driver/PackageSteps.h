// After the service offered an update: the package information of the answer is
// checked, the package downloaded into the update work folder and verified by size
// and MD5, then installed directly (full administrator rights), through a fresh
// elevated installation when the service asks for one and the user agrees, or by
// handing it to the upgrading copy through the package cache.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace zel {

struct RunState;

// The members of "data.updateinfo" that the package steps use; absent when the
// answer holds no value of the expected kind there.
struct PackageInfo {
  std::optional<std::string> version;     // ver
  std::optional<std::int32_t> size;       // size, bytes
  std::optional<std::string> hash;        // hash, MD5 as hex
  std::optional<std::string> packageUrl;  // packageurl, hex of the UTF-8 address
  std::optional<std::int32_t> reinstall;  // 1: a fresh elevated installation is needed
};
PackageInfo ReadPackageInfo(const std::string& answer);

// The outcome of checking the package information: the status that ends the run, or
// the decoded package address.
struct PackageCheck {
  std::string failure;  // "" when the information is usable
  std::string address;
};
PackageCheck CheckPackageInfo(const PackageInfo& info);

// "升级包校验值错误:" + digest, a line break and the support contact line.
std::string DigestErrorText(const std::string& digest);

// After an installation was started (directly, or by the upgrading copy): waits at most
// 60 one-second polls for the installing marker. When it appears the process ends at
// once, so the installer can replace this program's files; on Windows XP or older it
// shows "升级完成" and goes to the common ending instead. When it never appears:
// "错误: 升级超时..." and the common ending (Windows build).
void AwaitInstallation();

// The package steps of a checking instance, from the offered answer to the common
// ending or the immediate termination (Windows build).
void RunPackageSteps(RunState& run, const std::string& answer, bool elevated);

}  // namespace zel
