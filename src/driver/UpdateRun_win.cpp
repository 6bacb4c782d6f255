#include <windows.h>

#include <stdexcept>

#include "driver/CommandLine.h"
#include "driver/PackageCache.h"
#include "driver/PackageSteps.h"
#include "driver/ProgramTexts.h"
#include "driver/ProgressWindow_win.h"
#include "driver/ServiceAddresses.h"
#include "driver/UpdateQuery.h"
#include "driver/UpdateRun.h"
#include "profile/FileVersion.h"
#include "profile/Identity.h"
#include "profile/OfficeDetection.h"
#include "protocol/TextCodecs.h"
#include "settings/CheckSchedule.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsKeys.h"
#include "system/DiagnosticsLog.h"
#include "system/Folders.h"
#include "system/Guarded.h"
#include "system/OsInfo.h"
#include "system/PathLib.h"
#include "system/Platform.h"
#include "system/RunMarkers.h"
#include "system/Text_win.h"
#include "system/UniqueHandle_win.h"

namespace zel {
namespace {

// The window: shown with "/ui", else loaded hidden; watching for an installation
// unless this is the copy in the update work folder.
void LoadWindow(RunState& run) {
  frmUpdate& window = frmUpdate::Instance();
  run.windowShown = HasSwitch(run.commandLine, kSwitchUi);
  if (run.windowShown)
    window.Show();
  else
    window.LoadHidden();
  // A copy running from the update work folder installs; it must not close itself
  // when it sees its own installing marker.
  if (LowerText(run.programFolder).find(LowerText(GetUpdateTempDir())) == std::string::npos)
    window.SwitchOnWatch();
}

// The executables whose version stands for the installed product, in the order tried.
constexpr const char* kProductExecutables[] = {"sweepdoc.exe", "zelcore.exe", "zelpatcher.exe", "docwatch.exe"};

// The upgrading copy: never loads the window; any failure ends the run at once,
// without a message and without the common ending.
RunEnding RunUpgradingCopy(const RunState& run, const CachedPackage& cached) {
  if (IsWinXP()) {
    CurrentPlatform().AskUser("Winxp不支持的升级方式", kProgramTitle, MB_OK | MB_ICONINFORMATION);
    return RunEnding::kNone;
  }
  GuardedStep("installation by the upgrading copy", [&] {
    const std::optional<std::string> folder = InstallPathOf(run.commandLine);
    if (folder && !folder->empty() && ClsPathLib().IsDir(*folder))
      InstallCachedPackage(*run.settings, cached, *folder);
  });
  return RunEnding::kNone;
}

// The check: the version, the first-run record, the connectivity probe, then the query
// and its answer.
RunEnding CheckForUpdate(RunState& run) {
  frmUpdate& window = frmUpdate::Instance();
  const bool elevated = IsProcessElevated();
  const std::string version = GetInstalledProductVersion(run.programFolder);
  const std::string versionHex = HexEncodeText(version);

  const SettingsFile& config = *run.settings;
  bool fullProfile = false;
  if (config.Read(settings::kGeneral, settings::kInstalledDate, "").empty()) {
    config.Write(settings::kGeneral, settings::kInstalledDate, TodayText());
    fullProfile = true;
    RecordOfficeApp(config);
  }
  if (version != kNoVersion) {
    config.Write(settings::kVersions, settings::kLocalAppVer, version);
    config.Write(settings::kVersions, settings::kServerAppVer, version);
  }

  const bool connected = run.wmi->IsConnectedNetWork(kProbeAddress);
  Log("probe", std::string(kProbeAddress) + (connected ? " answers" : " does not answer"));
  if (!connected) {
    window.SetStatus("您的网络连接异常，无法连接到升级服务器。");
    return RunEnding::kCommon;
  }
  const std::string levelHex = HexEncodeText(elevated ? "1" : "0");

  // An action that is no number ends the run as the other answers do, without a status.
  const QueryResult result = RunUpdateQuery(versionHex, levelHex, fullProfile, config, run.wmi, window);
  if (result.outcome == QueryOutcome::kUpdateOffered) return RunPackageSteps(run, result.package, elevated);
  return RunEnding::kCommon;
}

// The start's line: the switches and the program's version, with what this process
// goes on to do. A run without a check writes this line only.
void LogStart(const RunState& run, const std::string& next) {
  Log("start", "switches \"" + run.commandLine + "\", version " ZEL_PROGRAM_VERSION ": " + next);
}

// The status box's text as the user sees it.
std::string ShownStatus() {
  const HWND box = frmUpdate::Instance().StatusHandle();
  std::wstring text(box ? static_cast<std::size_t>(GetWindowTextLengthW(box)) : 0, L'\0');
  if (!text.empty()) text.resize(static_cast<std::size_t>(GetWindowTextW(box, text.data(), text.size() + 1)));
  return Narrow(text);
}

void EndRun(RunEnding ending) {
  frmUpdate& window = frmUpdate::Instance();
  if (ending == RunEnding::kNone) return Log("end", "the process returns");
  if (ending == RunEnding::kImmediate) {
    Log("end", "at once, so the installer can replace the program's files");
    window.Unload();
    ExitProcess(0);
  }
  // The common ending: "退出" enabled, a hidden window unloaded.
  if (Run().checked) Log("end", std::string("\"").append(ShownStatus()).append("\""));
  window.EnableButton();
  if (!Run().windowShown) window.Unload();
}

// The run's steps up to the ending they choose. Whatever fails unexpectedly on the way
// ends the run in the common ending.
RunEnding RunSteps(RunState& run, const std::string& arguments) {
  run.checked = false;
  run.programFolder = GetAppDir();
  SetCurrentDirectoryW(Widen(run.programFolder).c_str());
  run.settings = SettingsFile::Open();
  if (!run.settings) return RunEnding::kCommon;  // no per-user product folder
  OpenDiagnosticsLog(GetUserDataDir());
  run.commandLine = LowerText(arguments);
  const bool upgradingCopy =
      HasSwitch(run.commandLine, kSwitchInstallPath) && HasSwitch(run.commandLine, kSwitchUpgrading);
  SetLogRole(upgradingCopy ? LogRole::kUpgradingCopy : LogRole::kChecking);

  // The installation identity; a WMI service that cannot be bound ends the run.
  if (!run.wmi) run.wmi = CurrentPlatform().BindWmi();
  if (!run.wmi) {
    LogStart(run, "no WMI service, the run ends");
    return RunEnding::kCommon;
  }
  EnsureInstalledUUID(*run.wmi, *run.settings);

  // The package cache decides this process's role.
  const CachedPackage cached = GetCachedPackage(*run.settings);
  if (cached.valid && upgradingCopy) {
    LogStart(run, "installs the cached package");
    return RunUpgradingCopy(run, cached);
  }
  // A package cached today is handed over again instead of checking; when the copy
  // does not take over, this process checks as usual.
  if (cached.valid) {
    SetLogRole(LogRole::kRelaunching);
    LogStart(run, "hands the package cached today to a new upgrading copy");
    if (LaunchUpgradingCopy(run.programFolder) && WaitForInstallingMarker()) return RunEnding::kNone;
  }
  SetLogRole(LogRole::kChecking);

  LoadWindow(run);

  if (!IsCheckDue(*run.settings) && !HasSwitch(run.commandLine, kSwitchManual)) {
    LogStart(run, "no check due");
    return RunEnding::kCommon;
  }
  LogStart(run, "checks for an update");
  run.checked = true;
  return CheckForUpdate(run);
}

}  // namespace

RunState& Run() {
  static RunState state;
  return state;
}

std::wstring InstanceClaimName(const std::string& programFile) {
  std::wstring path = Widen(LowerText(programFile));
  for (wchar_t& c : path)
    if (c == L'\\') c = L'/';  // a backslash would name a kernel namespace
  return L"Local\\ZELUpdater:" + path;
}

bool AnotherInstanceRunning() {
  static UniqueKernelHandle claim;
  if (claim) return false;
  claim.Reset(CreateMutexW(nullptr, FALSE, InstanceClaimName(GetProgramFilePath()).c_str()));
  // An instance with full administrator rights holds a claim a standard user's start
  // may not open: that denial says as much as finding the claim taken.
  if (!claim) return GetLastError() == ERROR_ACCESS_DENIED;
  return GetLastError() == ERROR_ALREADY_EXISTS;
}

void Main() {
  if (AnotherInstanceRunning()) return;
  RunWithArguments(ArgumentsOf(Narrow(GetCommandLineW())));
}

void RunWithArguments(const std::string& arguments) {
  RunEnding ending = RunEnding::kCommon;
  GuardedStep("run", [&] { ending = RunSteps(Run(), arguments); });
  EndRun(ending);
}

std::string GetInstalledProductVersion(const std::string& folder) {
  for (const char* name : kProductExecutables) {
    const std::string version = GetFileVersion(folder + name);
    if (version != kNoVersion) return version;
  }
  return kNoVersion;
}

void RecordOfficeApp(const SettingsFile& config) {
  DocAppInfo app;
  if (!GetDefaultDocApp(app)) return;
  config.Write(settings::kOffice, settings::kAppName, app.AppName);
  config.Write(settings::kOffice, settings::kAppVer, app.Version);
  config.Write(settings::kOffice, settings::kInstallPath, app.Folder);
}

}  // namespace zel
