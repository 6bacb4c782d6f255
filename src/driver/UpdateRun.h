// The whole run of a process, from top to bottom on the one GUI thread.
#pragma once
#include <memory>
#include <optional>
#include <string>

#include "settings/SettingsFile.h"
#include "system/Wmi.h"

namespace zel {

// Process-wide state, set once at start.
struct RunState {
  std::string programFolder;  // ends in a backslash
  std::optional<SettingsFile> settings;  // config.dat, opened at start
  std::string commandLine;    // the arguments, lower-cased
  bool windowShown = false;   // "/ui"
  std::unique_ptr<ClsWMI> wmi;  // the run's one WMI instance, bound at start
  bool checked = false;       // the run went on to a check: its ending gets a line of its own
};

RunState& Run();

// The entry procedure: the single-instance test, then the run.
void Main();
// The run after the single-instance test, for the given arguments as the system hands
// them over (not yet lower-cased), ended in one place. Tests drive it in-process.
void RunWithArguments(const std::string& arguments);

// The installed product's version: that of the first product executable in folder
// that carries one, "0.0.0" when none does.
std::string GetInstalledProductVersion(const std::string& folder);
// Writes the default document program to section "Office" when one is found.
void RecordOfficeApp(const SettingsFile& settings);

// The name of the claim an instance of programFile holds: one per program file, so the
// upgrading copy, which runs from another file, is not counted while the instance
// that started it still waits.
std::wstring InstanceClaimName(const std::string& programFile);
// True when another process runs from this same program file. Holds the claim for the
// life of the process.
bool AnotherInstanceRunning();

}  // namespace zel
