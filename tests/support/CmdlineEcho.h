// How tests drive the command-line echo peer (cmdline_echo.cpp): where it lies, the
// environment it reads, and its report.
#pragma once
#include <string>

#include "support/E2eWorld_win.h"

namespace zel::test {

inline constexpr char kEchoImageName[] = "zelcmdecho.exe";
inline constexpr char kEchoOutVariable[] = "ZEL_CMDLINE_OUT";
inline constexpr char kEchoStayVariable[] = "ZEL_PEER_STAY_MS";

// The peer beside the running test program.
inline std::string EchoPeerPath() { return BinDir() + kEchoImageName; }

struct EchoReport {
  std::string commandLine;  // as the peer saw it, in the ANSI code page
  std::string show;         // "show:N" or "show:none"
};

// Waits (up to timeoutMs) for the peer's report in `path` (it appears whole, moved into
// place) and reads it; false when none came.
inline bool WaitForEchoReport(const std::string& path, EchoReport& report, DWORD timeoutMs = 10000) {
  std::string bytes;
  if (!WaitFor([&] { return (bytes = ReadBytes(path)).find('\n') != std::string::npos; }, timeoutMs)) return false;
  const std::size_t newline = bytes.rfind('\n');
  report = {bytes.substr(0, newline), bytes.substr(newline + 1)};
  return true;
}

}  // namespace zel::test
