// Test double started by the process-start tests. It reports how it was started:
// its own command line (GetCommandLineA, in the ANSI code page) on the first line of
// the file named by ZEL_CMDLINE_OUT and, on the second, the window style it was given
// ("show:N") or "show:none". The report appears at once (written beside, then moved).
// With ZEL_PEER_STAY_MS it then stays that long (at most 30 s), so that tests can
// find or stop it by its image name.
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace {

std::string Environment(const char* name) {
  char value[MAX_PATH * 2] = {};
  const DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
  return n > 0 && n < sizeof value ? std::string(value, n) : std::string();
}

}  // namespace

int main() {
  const std::string out = Environment("ZEL_CMDLINE_OUT");
  if (!out.empty()) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    std::string report = GetCommandLineA();
    report += "\nshow:";
    report += (startup.dwFlags & STARTF_USESHOWWINDOW) ? std::to_string(startup.wShowWindow) : "none";
    const std::string partial = out + ".part";
    if (!(std::ofstream(partial, std::ios::binary) << report)) return 2;
    if (!MoveFileExA(partial.c_str(), out.c_str(), MOVEFILE_REPLACE_EXISTING)) return 2;
  }
  const std::string stay = Environment("ZEL_PEER_STAY_MS");
  if (!stay.empty()) {
    const long ms = std::strtol(stay.c_str(), nullptr, 10);
    if (ms > 0) Sleep(static_cast<DWORD>(ms < 30000 ? ms : 30000));
  }
  return 0;
}
