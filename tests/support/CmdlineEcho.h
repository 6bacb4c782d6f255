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
inline std::string EchoPeerPath() { return GetAppDir() + kEchoImageName; }

// Waits (up to 10 s) for the peer's report in `path` (it appears whole, moved into
// place): the command line as the peer saw it (in the ANSI code page), a blank and the
// window style ("show:N" or "show:none"); "" when none came.
inline std::string WaitForEchoReport(const std::string& path) {
  std::string bytes;
  if (!WaitFor([&] { return (bytes = ReadBytes(path)).find('\n') != std::string::npos; }, 10000)) return "";
  bytes[bytes.rfind('\n')] = ' ';
  return bytes;
}

}  // namespace zel::test
