#include <windows.h>

#include "driver/AnswerTrust.h"
#include "driver/PackageCache.h"
#include "driver/PackageSteps.h"
#include "driver/ProgressWindow_win.h"
#include "driver/UpdateRun.h"
#include "protocol/FileMd5.h"
#include "protocol/PackageDownload.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsKeys.h"
#include "system/DiagnosticsLog.h"
#include "system/Folders.h"
#include "system/OsInfo.h"
#include "system/PathLib.h"
#include "system/Platform.h"
#include "system/Process.h"
#include "system/Process_win.h"
#include "system/RunMarkers.h"

namespace zel {
namespace {

// A route's line: its outcome, the bytes that lie in its file, and its time.
void LogRoute(const char* route, bool ok, const std::string& file, const StepTimer& timer) {
  const std::int32_t bytes = ClsPathLib().MyGetFileSize(file);
  Log(route, std::string(ok ? "done" : "failed") + ", " + std::to_string(bytes < 0 ? 0 : bytes) + " bytes " +
                 timer.Took());
}

// What the answer says of the package, as far as it says it.
std::string PackageFacts(const PackageInfo& info, const PackageCheck& check) {
  const auto number = [](const std::optional<std::int32_t>& n) { return n ? std::to_string(*n) : "none"; };
  return "version " + info.version.value_or("none") + ", " + number(info.size) + " bytes, MD5 " +
         info.hash.value_or("none") + (info.sha256 ? ", SHA-256 " + *info.sha256 : "") + ", reinstall " +
         number(info.reinstall) + ", address " +
         (check.address.empty() ? info.packageUrl.value_or("none") : check.address);
}

// The download with its choice of route; true when the package lies at `package`.
bool Download(const RunState& run, const PackageInfo& info, const std::string& address, const std::string& package) {
  const ClsPathLib paths;
  frmUpdate& window = frmUpdate::Instance();
  const std::string partial = paths.JoinPath(GetUserDataDir(), kPartialPackageName);
  const std::string companion = run.programFolder + kCompanionName;
  bool ok = false;
  if (!paths.PathHasUnicode(run.programFolder) && paths.IsFile(companion)) {
    const StepTimer timer;
    ok = DownloadPackage(info.version.value_or(""), address, *info.size, *info.hash, kDownloadProgressFormat,
                         window);
    // A complete partial file counts, whatever the companion reported.
    if (!ok && paths.IsFile(partial) && paths.MyGetFileSize(partial) == *info.size) ok = true;
    LogRoute("companion downloader", ok, partial, timer);
    // The move's own result is not examined: a package missing afterwards ends the run
    // at the size check, without a second download.
    if (ok) paths.RenameFile(partial, package, true);
  } else {
    Log("route", paths.IsFile(companion) ? "no companion: the program folder's path is not plain ASCII"
                                         : "no companion beside the program");
    const StepTimer timer;
    ok = HttpRangeDownload(address, *info.size, package, kDownloadProgressFormat, window);
    LogRoute("range requests", ok, package, timer);
  }
  if (!ok) {
    const StepTimer timer;
    ok = DownloadUrlToFile(address, package);
    LogRoute("system download", ok, package, timer);
  }
  return ok;
}

}  // namespace

bool WaitForInstallingMarker() {
  const StepTimer timer;
  const bool appeared = WaitRunMarker(kInstallingMarker, kMarkerPollMs, kMarkerPolls);
  Log("installing marker", std::string(appeared ? "appeared " : "did not appear ") + timer.Took());
  return appeared;
}

RunEnding AwaitInstallation() {
  frmUpdate& window = frmUpdate::Instance();
  if (!WaitForInstallingMarker()) {
    window.SetStatus("错误: 升级超时...");
    return RunEnding::kCommon;
  }
  if (!IsWinXP()) return RunEnding::kImmediate;  // lets the installer replace this program's files
  window.SetStatus("升级完成");
  return RunEnding::kCommon;
}

RunEnding RunPackageSteps(const RunState& run, const PackageInfo& info, bool elevated) {
  frmUpdate& window = frmUpdate::Instance();
  const SettingsFile& config = *run.settings;
  const ClsPathLib paths;

  if (info.version && !info.version->empty())
    config.Write(settings::kVersions, settings::kServerAppVer, *info.version);
  window.SetStatus("校验升级信息正确性......");
  const bool signedUpdate = SignedUpdates();
  const PackageCheck check = CheckPackageInfo(info, signedUpdate);
  Log("package", PackageFacts(info, check) + (check.failure.empty() ? "" : ": refused"));
  if (!check.failure.empty()) {
    window.SetStatus(check.failure);
    return RunEnding::kCommon;
  }

  window.SetStatus("下载升级包......");
  paths.DeleteFolder(GetUpdateTempDir(), false);
  const std::string package = paths.JoinPath(GetUpdateTempDir(), kPackageName);
  if (paths.IsFile(package)) paths.DelFile(package);
  if (!Download(run, info, check.address, package)) {
    window.SetStatus("下载升级包失败,升级地址:" + check.address);
    if (CurrentPlatform().AskUser("自动更新失败需要手工下载更新包吗?", "程序自动更新失败",
                                  MB_YESNO | MB_ICONQUESTION) == IDYES)
      ShellStart(GetExplorerPath() + " " + check.address, SW_SHOWMINIMIZED);
    return RunEnding::kCommon;
  }

  // A package that vanished (a rename that failed) is an unexpected failure: the run
  // ends without a status of its own.
  const std::int32_t length = paths.MyGetFileSize(package);
  Log("size",
      length < 0 ? "the package is missing"
                 : std::to_string(length) + " bytes" +
                       (length == *info.size ? ", as announced" : ", announced " + std::to_string(*info.size)));
  if (length < 0) return RunEnding::kCommon;
  if (length != *info.size) {
    window.SetStatus("下载升级包大小校验错误");
    return RunEnding::kCommon;
  }
  window.SetStatus("校验升级包哈希值...");
  // A signed answer's package is held to its SHA-256 as well, both from one read.
  const FileDigests digests =
      signedUpdate ? FileMd5AndSha256(package) : FileDigests{FileMd5(package, kCalgMd5), ""};
  const std::string& digest = digests.md5;
  const bool md5Matches = DigestMatches(digest, *info.hash);
  const bool digestMatches = md5Matches && (!signedUpdate || DigestMatches(digests.sha256, *info.sha256));
  Log("digest",
      "MD5 " + digest + (signedUpdate ? ", SHA-256 " + digests.sha256 : "") +
          (digestMatches ? ", as announced" : ", announced " + *info.hash + " " + info.sha256.value_or("")));
  if (!digestMatches) {
    window.SetStatus(DigestErrorText(md5Matches ? digests.sha256 : digest));
    return RunEnding::kCommon;
  }
  window.SetStatus("升级中...");

  if (elevated) {
    const bool started = ShellRun(package, InstallerArguments(run.programFolder), SW_HIDE);
    Log("installer", started ? "started with full administrator rights" : "could not be started");
    return AwaitInstallation();
  }
  if (info.reinstall == 1) {
    const bool yes = CurrentPlatform().AskUser("新版本安装需要全新安装，是否启用管理员权限进行安装？",
                                               "Zel卫士发现新版本", MB_YESNO | MB_ICONQUESTION) == IDYES;
    Log("fresh installation",
        yes ? "the user agreed: the package starts through the shell" : "the user declined");
    if (!yes) return RunEnding::kCommon;
    // The question may have waited long: a signed package is checked again first.
    if (signedUpdate) {
      const FileDigests now = FileMd5AndSha256(package);
      if (!DigestsMatch(now, digest, digests.sha256)) {
        Log("digest", "the package changed while the question waited: not started");
        window.SetStatus(DigestErrorText(now.sha256));
        return RunEnding::kCommon;
      }
    }
    ShellRunViaExplorer(package, SW_SHOWNORMAL);
    return RunEnding::kCommon;
  }
  const std::string cached = paths.JoinPath(GetUserDataDir(), kPackageName);
  paths.DelFile(cached);
  if (!paths.MyCopyFile(package, cached, true)) {
    Log("cache", "the package could not be copied into the cache");
    window.SetStatus("复制文件出错02");
    return RunEnding::kCommon;
  }
  RecordCachedPackage(config, *info.size, digest, digests.sha256);
  Log("cache", "package cached for the upgrading copy");
  if (!LaunchUpgradingCopy(run.programFolder)) {
    window.SetStatus("升级过程出错(复制或启动升级程序失败)");
    return RunEnding::kCommon;
  }
  return AwaitInstallation();
}

}  // namespace zel
