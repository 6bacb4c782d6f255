#include <windows.h>

#include "driver/AnswerTrust.h"
#include "driver/PackageCache.h"
#include "protocol/FileMd5.h"
#include "settings/CheckSchedule.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsKeys.h"
#include "system/DiagnosticsLog.h"
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
using settings::kPackageSha256;
using settings::kPackageSize;
using settings::kUpdate;

constexpr std::uint32_t kInstallerWaitMs = 180000;
constexpr std::uint32_t kInstallerLookMs = 100;
constexpr DWORD kCopyEndWaitMs = 5000;

constexpr char kNoRecord[] = "no complete record";

std::string CachedPackagePath() { return ClsPathLib().JoinPath(GetUserDataDir(), kPackageName); }

// The record and its file as they are, or no value when the record cannot be read.
std::optional<CachedPackage> ReadCache(const SettingsFile& settings) {
  CachedPackage cached;
  cached.cacheDate = settings.Read(kUpdate, kCacheDate, "");
  const auto size = CacheSizeOf(settings.Read(kUpdate, kPackageSize, "0"));
  if (!size) return std::nullopt;
  cached.packageSize = *size;
  cached.packageHash = settings.Read(kUpdate, kPackageHash, "");
  if (SignedUpdates()) cached.packageSha256 = settings.Read(kUpdate, kPackageSha256, "");
  cached.packagePath = CachedPackagePath();
  return cached;
}

// Why the cache cannot be used, nullptr when it is intact. The checks in their order:
// a complete record, the file, today's date, the size, then the digest (the costly
// one, last).
const char* CacheFault(const CachedPackage& cached) {
  const ClsPathLib paths;
  const bool signedUpdate = SignedUpdates();
  if (cached.cacheDate.empty() || cached.packageSize == 0 || cached.packageHash.empty() ||
      (signedUpdate && cached.packageSha256.empty()))
    return kNoRecord;
  if (!paths.IsFile(cached.packagePath)) return "its file is missing";
  if (cached.cacheDate != TodayText()) return "it was cached on another day";
  if (paths.MyGetFileSize(cached.packagePath) != cached.packageSize) return "its file has another size";
  if (signedUpdate
          ? !DigestsMatch(FileMd5AndSha256(cached.packagePath), cached.packageHash, cached.packageSha256)
          : !DigestMatches(FileMd5(cached.packagePath, kCalgMd5), cached.packageHash))
    return "its file has another digest";
  return nullptr;
}

}  // namespace

CachedPackage GetCachedPackage(const SettingsFile& settings) {
  std::optional<CachedPackage> cached =
      Guarded<std::optional<CachedPackage>>("cache record", std::nullopt, [&] { return ReadCache(settings); });
  const char* fault = cached ? Guarded<const char*>("cache check", "its check failed",
                                                    [&] { return CacheFault(*cached); })
                             : "its record cannot be read";
  if (!fault) {
    Log("cache", "accepted: cached " + cached->cacheDate + ", " + std::to_string(cached->packageSize) + " bytes");
    cached->valid = true;
    return *cached;
  }
  const std::string path = cached ? cached->packagePath : CachedPackagePath();
  // An empty cache is the usual case, and not worth a line.
  if (fault != kNoRecord || Guarded("cache file", false, [&] { return ClsPathLib().IsFile(path); }))
    Log("cache", std::string("emptied: ") + fault);
  ClearPackageCache(settings, path);
  return {};
}

void ClearPackageCache(const SettingsFile& settings, const std::string& packagePath) {
  GuardedStep("cache date reset", [&] { settings.Write(kUpdate, kCacheDate, ""); });
  GuardedStep("cache size reset", [&] { settings.Write(kUpdate, kPackageSize, "0"); });
  GuardedStep("cache digest reset", [&] {
    settings.Write(kUpdate, kPackageHash, "");
    if (SignedUpdates()) settings.Write(kUpdate, kPackageSha256, "");
  });
  GuardedStep("cache file removal", [&] {
    const ClsPathLib paths;
    if (paths.IsFile(packagePath)) paths.DelFile(packagePath);
  });
}

void RecordCachedPackage(const SettingsFile& settings, std::int32_t size, const std::string& digest,
                         const std::string& sha256) {
  settings.Write(kUpdate, kCacheDate, TodayText());
  settings.Write(kUpdate, kPackageSize, std::to_string(size));
  settings.Write(kUpdate, kPackageHash, digest);
  if (SignedUpdates()) settings.Write(kUpdate, kPackageSha256, sha256);
}

bool LaunchUpgradingCopy(const std::string& programFolder) {
  // A failing step is passed over; only the copy and the start decide.
  const ClsPathLib paths;
  std::string copy;
  GuardedStep("old copy removal", [&] {
    copy = paths.JoinPath(GetUpdateTempDir(), kProgramFileName);
    // A copy whose start was cut off (its starter died before resuming it) stays
    // suspended for good: it never runs, holds no installing marker and keeps its file
    // from being replaced, so it is ended. While the marker is held, a copy is at work
    // and nothing is ended.
    if (!paths.DelFile(copy) && paths.IsFile(copy) && !RunMarkerExists(kInstallingMarker, ""))
      Log("upgrading copy", EndProcessesRunningFrom(copy, kCopyEndWaitMs)
                                ? "a copy left suspended was ended"
                                : "its file is held, by no process that could be ended");
  });
  // Always the program folder's zelpatcher.exe, whatever this process's file is called.
  const bool copied = Guarded("program copy", false, [&] {
    return paths.MyCopyFile(paths.JoinPath(programFolder, kProgramFileName), copy, true);
  });
  if (!copied) {
    Log("hand-over", "the program could not be copied into the update work folder");
    return false;
  }
  const bool started = Guarded("upgrading copy start", false,
                               [&] { return ShellRun(copy, UpgradingCopyArguments(programFolder), SW_HIDE); });
  Log("hand-over", started ? "upgrading copy started" : "the upgrading copy could not be started");
  return started;
}

void InstallCachedPackage(const SettingsFile& settings, const CachedPackage& cached, const std::string& folder) {
  CreateRunMarker(kInstallingMarker, "");  // held until this process ends
  if (ClsPathLib().IsFile(cached.packagePath)) {
    // Another product process still running: nothing is installed, the cache stays.
    const StepTimer markersTimer;
    const bool othersGone = WaitOtherRunMarkersGone(kMarkerPollMs, kMarkerPolls, "");
    Log("other markers", othersGone ? "gone " + markersTimer.Took() : "still there after 60 s: the cache stays");
    if (!othersGone) return;
    // The wait may have been long: a signed package is checked once more, so that no
    // file put in its place meanwhile is started.
    ProcessInfo installer;
    if (SignedUpdates() &&
        !DigestsMatch(FileMd5AndSha256(cached.packagePath), cached.packageHash, cached.packageSha256)) {
      Log("installer", "not started: the cached file changed since it was checked");
    } else if (StartProcess(cached.packagePath, InstallerArguments(folder), installer)) {
      Log("installer", "started, process " + std::to_string(installer.processId));
      // Three minutes at most on the platform's clock, looked at in short steps so that
      // the installer's end is seen at once; the outcome is only logged.
      const StepTimer installerTimer;
      for (std::uint32_t waited = 0;
           waited < kInstallerWaitMs && WaitForSingleObject(installer.process.Get(), 0) == WAIT_TIMEOUT;
           waited += kInstallerLookMs)
        CurrentPlatform().SleepMs(kInstallerLookMs);
      DWORD code = STILL_ACTIVE;
      GetExitCodeProcess(installer.process.Get(), &code);
      Log("installer", code == STILL_ACTIVE ? "still runs after 180 s"
                                             : "ended with exit code " + std::to_string(code) + " " +
                                                   installerTimer.Took());
    } else {
      Log("installer", "could not be started");
    }
  }
  ClearPackageCache(settings, cached.packagePath);
  Log("cache", "emptied");
}

}  // namespace zel
