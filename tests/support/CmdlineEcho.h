// How tests drive the command-line echo peer (cmdline_echo.cpp): where it lies, the
// environment it reads, and its report.
#pragma once
#include <windows.h>

#include <string>

namespace zel::test {

inline constexpr char kEchoImageName[] = "zelcmdecho.exe";
inline constexpr char kEchoOutVariable[] = "ZEL_CMDLINE_OUT";
inline constexpr char kEchoStayVariable[] = "ZEL_PEER_STAY_MS";

// The peer beside the running test program.
inline std::string EchoPeerPath() {
  char path[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, n);
  folder.erase(folder.find_last_of('\\') + 1);
  return folder + kEchoImageName;
}

struct EchoReport {
  std::string commandLine;  // as the peer saw it, in the ANSI code page
  std::string show;         // "show:N" or "show:none"
};

// Waits (up to timeoutMs) for the peer's report in `path` and reads it; false when
// none came.
inline bool WaitForEchoReport(const std::string& path, EchoReport& report, DWORD timeoutMs = 10000) {
  for (DWORD waited = 0; waited <= timeoutMs; waited += 50) {
    HANDLE file =
        CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      std::string bytes(GetFileSize(file, nullptr), '\0');
      DWORD read = 0;
      const bool ok = ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
      CloseHandle(file);
      const std::size_t newline = bytes.rfind('\n');
      if (!ok || read != bytes.size() || newline == std::string::npos) return false;
      report.commandLine = bytes.substr(0, newline);
      report.show = bytes.substr(newline + 1);
      return true;
    }
    Sleep(50);
  }
  return false;
}

}  // namespace zel::test
