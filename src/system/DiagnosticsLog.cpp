#include "system/DiagnosticsLog.h"

#include <cstdio>
#include <utility>

namespace zel {
namespace {

LogDestination destination = nullptr;
LogRole role = LogRole::kChecking;
std::string withheld;

const char* RoleName(LogRole role) {
  switch (role) {
    case LogRole::kChecking:
      return "checking";
    case LogRole::kRelaunching:
      return "relaunching";
    case LogRole::kUpgradingCopy:
      return "upgrading copy";
  }
  return "";
}

void Replace(std::string& text, std::string_view what, std::string_view by) {
  for (std::size_t at = 0; !what.empty() && (at = text.find(what, at)) != std::string::npos; at += by.size())
    text.replace(at, what.size(), by);
}

}  // namespace

std::string FormatLogLine(const LogStamp& at, std::uint32_t processId, LogRole role, std::string_view step,
                          std::string_view detail) {
  char head[64];
  std::snprintf(head, sizeof head, "%04d-%02d-%02d %02d:%02d:%02d.%03d [%u %s] ", at.year, at.month, at.day,
                at.hour, at.minute, at.second, at.millisecond, static_cast<unsigned>(processId),
                RoleName(role));
  std::string body(detail);
  Replace(body, "\r\n", " / ");
  Replace(body, "\n", " / ");
  Replace(body, "\r", " / ");
  return std::string(head) + std::string(step) + ": " + body + "\r\n";
}

std::string StepTimer::Took() const {
  const auto took = std::chrono::steady_clock::now() - started_;
  return "in " + std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()) + " ms";
}

void SetLogDestination(LogDestination to) { destination = to; }
void SetLogRole(LogRole to) { role = to; }
void WithholdFromLog(std::string text) { withheld = std::move(text); }

void Log(std::string_view step, std::string_view detail) noexcept {
  if (!destination) return;
  try {
    if (withheld.empty() || detail.find(withheld) == std::string_view::npos)
      return destination(role, step, detail);
    std::string shown(detail);
    Replace(shown, withheld, std::string("<").append(std::to_string(withheld.size())).append(" bytes>"));
    destination(role, step, shown);
  } catch (...) {
    // A line that cannot be made is dropped: the log never changes the run.
  }
}

void LogFailure(std::string_view label, std::string_view what) noexcept {
  try {
    Log(kFailureStep, std::string(label) + ": " + std::string(what));
  } catch (...) {
  }
}

}  // namespace zel
