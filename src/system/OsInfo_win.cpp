#include "system/OsInfo.h"

#include <windows.h>

#include "system/UniqueHandle_win.h"

namespace zel {
namespace {

bool QueryVersion(OSVERSIONINFOEXA& info) {
  ZeroMemory(&info, sizeof info);
  info.dwOSVersionInfoSize = sizeof info;  // 156 bytes
  // The embedded manifest lists every system up to Windows 10/11, so the true version is reported.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  return GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info)) != FALSE;
#pragma GCC diagnostic pop
}

bool ReadTokenDword(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, DWORD& value) {
  DWORD returned = 0;
  return GetTokenInformation(token, infoClass, &value, sizeof value, &returned) != FALSE;
}

}  // namespace

std::array<int, 2> GetScreenSize() { return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}; }

int GetOSMajorVersion() {
  OSVERSIONINFOEXA info;
  return QueryVersion(info) ? static_cast<int>(info.dwMajorVersion) : 0;
}

bool SystemIsWinXP() {
  OSVERSIONINFOEXA info;
  return QueryVersion(info) && info.dwMajorVersion <= 5;
}

bool SystemIsProcessElevated() {
  if (SystemIsWinXP()) return true;  // no elevation before Vista
  UniqueKernelHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Put())) return false;
  DWORD elevationType = 0;
  if (!ReadTokenDword(token.Get(), TokenElevationType, elevationType)) return false;
  if (elevationType == TokenElevationTypeFull) return true;
  DWORD elevated = 0;
  if (!ReadTokenDword(token.Get(), TokenElevation, elevated)) return false;
  return elevated != 0;
}

}  // namespace zel
