// A program of the product, built with the version it stands for (its version
// resource), in two roles:
//
//   started with no arguments (as zelcore.exe, sweepdoc.exe or docwatch.exe): a
//   product process. It holds the run marker named after its own file while it runs
//   and leaves as soon as the marker "zelinstalling" appears, as the product's
//   processes do when an installation starts. With ZEL_PEER_STAYS=1 in its
//   environment it refuses to leave (for at most ten minutes).
//
//   started as "/verysilent /installpath "FOLDER"": the package installer. It holds
//   "zelinstalling" while it works, replaces the product's executables in FOLDER by
//   copies of itself (so they carry its version afterwards), records its command line
//   in FOLDER\install.log and ends.
//
// Exit codes: 0 done, 1 the installation folder is missing or a file could not be
// replaced, 2 a product process whose marker could not be made.
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "driver/CommandLine.h"
#include "system/Platform_win.h"
#include "system/RunMarkers.h"
#include "system/Text.h"
#include "system/Text_win.h"

namespace {

constexpr DWORD kPollMs = 100;
constexpr DWORD kStayLimitMs = 600000;
constexpr DWORD kInstallWorkMs = 1500;  // long enough to be seen working
constexpr const char* kProductPrograms[] = {"sweepdoc.exe", "zelcore.exe", "docwatch.exe"};

std::wstring OwnPath() {
  wchar_t path[MAX_PATH];
  return std::wstring(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
}

int RunAsProductProcess() {
  if (!zel::CreateRunMarker(zel::LowerText(zel::Narrow(std::filesystem::path(OwnPath()).stem().wstring())),
                            ""))
    return 2;
  wchar_t stays[8] = {};
  const bool refuses = GetEnvironmentVariableW(L"ZEL_PEER_STAYS", stays, 8) > 0 && stays[0] == L'1';
  for (DWORD waited = 0; waited < kStayLimitMs; waited += kPollMs) {
    if (!refuses && zel::RunMarkerExists(zel::kInstallingMarker, "")) return 0;
    Sleep(kPollMs);
  }
  return 0;
}

int RunAsInstaller(const std::string& arguments) {
  zel::CreateRunMarker(zel::kInstallingMarker, "");
  // The folder as the updater's own command line reads it (lower case; the file
  // system does not mind).
  const std::optional<std::string> path = zel::InstallPathOf(zel::LowerText(arguments));
  if (!path) return 1;
  std::string folder = *path;
  if (!folder.empty() && folder.back() != '\\') folder += '\\';
  if (GetFileAttributesW(zel::Widen(folder).c_str()) == INVALID_FILE_ATTRIBUTES) return 1;
  Sleep(kInstallWorkMs);
  bool replaced = true;
  for (const char* program : kProductPrograms)
    replaced = CopyFileW(OwnPath().c_str(), zel::Widen(folder + program).c_str(), FALSE) && replaced;
  std::ofstream(std::filesystem::path(zel::Widen(folder + "install.log")), std::ios::app | std::ios::binary)
      << arguments << "\r\n";
  return replaced ? 0 : 1;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR arguments, int) {
  zel::PlatformScope platform(zel::Win32Platform());
  const std::string text = zel::Narrow(arguments);
  return zel::LowerText(text).find("/verysilent") != std::string::npos ? RunAsInstaller(text) : RunAsProductProcess();
}
