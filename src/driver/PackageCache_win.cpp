#include <windows.h>

#include "driver/PackageCache.h"
#include "protocol/FileMd5.h"
#include "settings/CheckSchedule.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsKeys.h"
#include "system/Folders.h"
#include "system/Guarded.h"
#include "system/PathLib.h"
#include "system/Platform.h"
#include "system/Process_win.h"
#include "system/RunMarkers.h"

namespace zel {
namespace {

using settings::kCacheDate;
using settings::kPackageHash;
using settings::kPackageSize;
using settings::kUpdate;

constexpr std::uint32_t kInstallerWaitMs = 180000;
constexpr std::uint32_t kInstallerLookMs = 100;

std::string CachedPackagePath() { return ClsPathLib().JoinPath(GetUserDataDir(), kPackageName); }

// The record and its file as they are, or no value when the record cannot be read.
std::optional<CachedPackage> ReadCache(const SettingsFile& settings) {
  CachedPackage cached;
  cached.cacheDate = settings.Read(kUpdate, kCacheDate, "");
  const auto size = CacheSizeOf(settings.Read(kUpdate, kPackageSize, "0"));
  if (!size) return std::nullopt;
  cached.packageSize = *size;
  cached.packageHash = settings.Read(kUpdate, kPackageHash, "");
  cached.packagePath = CachedPackagePath();
  return cached;
}

// The checks in their order: a complete record, the file, today's date, the size,
// then the digest (the costly one, last).
bool IsIntact(const CachedPackage& cached) {
  const ClsPathLib paths;
  if (cached.cacheDate.empty() || cached.packageSize == 0 || cached.packageHash.empty()) return false;
  if (!paths.IsFile(cached.packagePath)) return false;
  if (cached.cacheDate != TodayText()) return false;
  if (paths.MyGetFileSize(cached.packagePath) != cached.packageSize) return false;
  return DigestMatches(FileMd5(cached.packagePath, kCalgMd5), cached.packageHash);
}

}  // namespace

CachedPackage GetCachedPackage(const SettingsFile& settings) {
  std::optional<CachedPackage> cached =
      Guarded<std::optional<CachedPackage>>(std::nullopt, [&] { return ReadCache(settings); });
  if (cached && Guarded(false, [&] { return IsIntact(*cached); })) {
    cached->valid = true;
    return *cached;
  }
  ClearPackageCache(settings, cached ? cached->packagePath : CachedPackagePath());
  return {};
}

void ClearPackageCache(const SettingsFile& settings, const std::string& packagePath) {
  GuardedStep([&] { settings.Write(kUpdate, kCacheDate, ""); });
  GuardedStep([&] { settings.Write(kUpdate, kPackageSize, "0"); });
  GuardedStep([&] { settings.Write(kUpdate, kPackageHash, ""); });
  GuardedStep([&] {
    const ClsPathLib paths;
    if (paths.IsFile(packagePath)) paths.DelFile(packagePath);
  });
}

void RecordCachedPackage(const SettingsFile& settings, std::int32_t size, const std::string& digest) {
  settings.Write(kUpdate, kCacheDate, TodayText());
  settings.Write(kUpdate, kPackageSize, std::to_string(size));
  settings.Write(kUpdate, kPackageHash, digest);
}

bool LaunchUpgradingCopy(const std::string& programFolder) {
  // A failing step is passed over; only the copy and the start decide.
  const ClsPathLib paths;
  std::string copy;
  GuardedStep([&] {
    copy = paths.JoinPath(GetUpdateTempDir(), kProgramFileName);
    paths.DelFile(copy);
  });
  // Always the program folder's zelpatcher.exe, whatever this process's file is called.
  const bool copied = Guarded(false, [&] {
    return paths.MyCopyFile(paths.JoinPath(programFolder, kProgramFileName), copy, true);
  });
  if (!copied) return false;
  return Guarded(false, [&] { return ShellRun(copy, UpgradingCopyArguments(programFolder), SW_HIDE); });
}

void InstallCachedPackage(const SettingsFile& settings, const CachedPackage& cached, const std::string& folder) {
  CreateRunMarker(kInstallingMarker, "");  // held until this process ends
  if (ClsPathLib().IsFile(cached.packagePath)) {
    // Another product process still running: nothing is installed, the cache stays.
    if (!WaitOtherRunMarkersGone(kMarkerPollMs, kMarkerPolls, "")) return;
    ProcessInfo installer;
    if (StartProcess(cached.packagePath, InstallerArguments(folder), installer)) {
      // Three minutes at most on the platform's clock, looked at in short steps so that
      // the installer's end is seen at once; the outcome is not examined.
      for (std::uint32_t waited = 0;
           waited < kInstallerWaitMs && WaitForSingleObject(installer.process.Get(), 0) == WAIT_TIMEOUT;
           waited += kInstallerLookMs)
        CurrentPlatform().SleepMs(kInstallerLookMs);
    }
  }
  ClearPackageCache(settings, cached.packagePath);
}

}  // namespace zel
