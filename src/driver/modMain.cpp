#include "driver/modMain.h"

#include <windows.h>

#include <stdexcept>

#include "driver/CommandLine.h"
#include "driver/frmUpdate.h"
#include "settings/IniOperation.h"
#include "settings/SettingsKeys.h"
#include "settings/modCheckUpdate.h"
#include "system/TextWin.h"
#include "system/UniqueHandle.h"
#include "system/modFolders.h"

namespace zel {
namespace {

// One claim per program file: the upgrading copy runs from another file and so is not
// counted while the instance that started it still waits.
std::wstring InstanceMutexName() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  CharLowerBuffW(path.data(), static_cast<DWORD>(path.size()));
  for (wchar_t& c : path)
    if (c == L'\\') c = L'/';  // a backslash would name a kernel namespace
  return L"Local\\ZELUpdater:" + path;
}

// The window's share of the start: steps 9 and 10.
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

}  // namespace

RunState& Run() {
  static RunState state;
  return state;
}

bool AnotherInstanceRunning() {
  static UniqueKernelHandle claim;
  if (claim) return false;
  claim.Reset(CreateMutexW(nullptr, FALSE, InstanceMutexName().c_str()));
  return claim && GetLastError() == ERROR_ALREADY_EXISTS;
}

void Main() {
  if (AnotherInstanceRunning()) return;
  RunWithArguments(ArgumentsOf(Narrow(GetCommandLineW())));
}

void RunWithArguments(const std::string& arguments) {
  RunState& run = Run();
  try {
    run.programFolder = GetAppDir();
    SetCurrentDirectoryW(Widen(run.programFolder).c_str());
    run.settingsPath = ConfigFilePath();
    if (run.settingsPath.empty()) throw std::runtime_error("no per-user product folder");
    run.commandLine = LowerText(arguments);

    LoadWindow(run);

    if (!IsCheckDue() && !HasSwitch(run.commandLine, kSwitchManual)) return CommonEnding();
    CommonEnding();
  } catch (const std::exception&) {
    CommonEnding();
  }
}

void CommonEnding() {
  frmUpdate& window = frmUpdate::Instance();
  window.EnableButton();
  if (!Run().windowShown) window.Unload();
}

void ImmediateTermination() {
  frmUpdate::Instance().Unload();
  ExitProcess(0);
}

void SaveLastCheckDate() {
  IniWrite(Run().settingsPath, settings::kGeneral, settings::kLastCheckUpdate, TodayText());
}

}  // namespace zel
