// The diagnostics log: one line for each step of a run and for each failure that a
// guarded boundary turns into a result, so that support can read afterwards what a
// run did on a user's machine. The portable part decides what a line says; the
// Windows build appends the lines to a file in the per-user product folder.
//
// Logging never changes a run: without a destination, or when the destination fails,
// a line is dropped and nothing else happens.
#pragma once
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace zel {

// The kind of process that writes a line.
enum class LogRole {
  kChecking,       // checks for an update and fetches it
  kRelaunching,    // hands a package cached today to a new upgrading copy
  kUpgradingCopy,  // the copy in the update work folder that runs the installer
};

// A local time with milliseconds.
struct LogStamp {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};

// "2026-12-07 16:40:01.123 [1234 checking] step: detail" and CR LF. The detail's own
// line breaks become " / ", so each entry stays one line.
std::string FormatLogLine(const LogStamp& at, std::uint32_t processId, LogRole role, std::string_view step,
                          std::string_view detail);

// Where lines go: the step and its detail, with the role at the time. The Windows
// build's destination adds the time and the process.
using LogDestination = void (*)(LogRole role, std::string_view step, std::string_view detail);
void SetLogDestination(LogDestination destination);  // nullptr: no log
void SetLogRole(LogRole role);

// A text the log must never hold (the service's answer): from now on every detail
// shows it as "<N bytes>" instead.
void WithholdFromLog(std::string text);

// How long a step took, for its line: "in 35 ms".
class StepTimer {
 public:
  std::string Took() const;

 private:
  std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
};

// One step with its result.
void Log(std::string_view step, std::string_view detail) noexcept;
// A failure that a guarded boundary caught: its label and the failure's own text.
void LogFailure(std::string_view label, std::string_view what) noexcept;
inline constexpr char kFailureStep[] = "failure";

// The log's files in the per-user product folder: the current one, and the one it
// becomes once it holds limitBytes (a single older file is kept).
inline constexpr char kLogFileName[] = "zelpatcher.log";
inline constexpr char kOlderLogFileName[] = "zelpatcher.old.log";
inline constexpr std::uint32_t kLogLimitBytes = 256 * 1024;
// Sends the lines of this process to the log in folder (Windows build). Each line is
// appended whole, with sharing that lets the run's other processes append too.
void OpenDiagnosticsLog(const std::string& folder, std::uint32_t limitBytes = kLogLimitBytes);

}  // namespace zel
