#include <windows.h>

#include "system/DiagnosticsLog.h"
#include "system/Text_win.h"
#include "system/UniqueHandle_win.h"

namespace zel {
namespace {

std::wstring logPath;
std::wstring olderPath;
std::uint32_t limit = kLogLimitBytes;

// The lock that makes appending one process's business at a time: a byte far past any
// log's end. A process that dies holding it releases it with its handle. Taken in
// 1 ms steps for at most 200 ms, so a process stopped in a debugger costs the others
// a line, never their run.
class AppendLock {
 public:
  explicit AppendLock(HANDLE file) : file_(file) {
    for (int tries = 0; tries < 200 && !held_; ++tries) {
      OVERLAPPED at{};
      at.OffsetHigh = 0x7FFFFFFF;
      held_ = LockFileEx(file_, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at);
      if (!held_) Sleep(1);
    }
  }
  ~AppendLock() {
    OVERLAPPED at{};
    at.OffsetHigh = 0x7FFFFFFF;
    if (held_) UnlockFileEx(file_, 0, 1, 0, &at);
  }
  AppendLock(const AppendLock&) = delete;
  AppendLock& operator=(const AppendLock&) = delete;
  explicit operator bool() const { return held_; }

 private:
  HANDLE file_;
  bool held_ = false;
};

UniqueFile OpenLog() {
  return UniqueFile(CreateFileW(logPath.c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool IsFull(HANDLE file) {
  LARGE_INTEGER size;
  return GetFileSizeEx(file, &size) && size.QuadPart >= limit;
}

// True while the open file is still the one under the log's name: another process
// may have moved it aside since it was opened.
bool IsStillTheLog(HANDLE file) {
  const UniqueFile byName(CreateFileW(logPath.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
  BY_HANDLE_FILE_INFORMATION open, named;
  return byName && GetFileInformationByHandle(file, &open) &&
         GetFileInformationByHandle(byName.Get(), &named) &&
         open.dwVolumeSerialNumber == named.dwVolumeSerialNumber &&
         open.nFileIndexHigh == named.nFileIndexHigh && open.nFileIndexLow == named.nFileIndexLow;
}

// Appends the line at the end under the lock. A full log is first moved aside as the
// older one (replacing it), by the one process that finds it full under its name.
void AppendLine(const std::string& line) {
  for (int pass = 0; pass < 2; ++pass) {
    const UniqueFile file = OpenLog();
    if (!file) return;
    const AppendLock lock(file.Get());
    if (!lock) return;
    if (pass == 0 && IsFull(file.Get()) && IsStillTheLog(file.Get())) {
      MoveFileExW(logPath.c_str(), olderPath.c_str(), MOVEFILE_REPLACE_EXISTING);
      continue;
    }
    DWORD written = 0;
    if (SetFilePointerEx(file.Get(), LARGE_INTEGER{}, nullptr, FILE_END))
      WriteFile(file.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    return;
  }
}

void AppendToFile(LogRole role, std::string_view step, std::string_view detail) {
  const DWORD lastError = GetLastError();
  SYSTEMTIME now;
  GetLocalTime(&now);
  const LogStamp at{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
  std::string text(detail);
  if (step == kFailureStep && lastError != ERROR_SUCCESS)
    text += " (last error " + std::to_string(lastError) + ")";
  AppendLine(FormatLogLine(at, GetCurrentProcessId(), role, step, text));
  SetLastError(lastError);  // the caller's last error stays as it was
}

}  // namespace

void OpenDiagnosticsLog(const std::string& folder, std::uint32_t limitBytes) {
  logPath = Widen(folder + "\\" + kLogFileName);
  olderPath = Widen(folder + "\\" + kOlderLogFileName);
  limit = limitBytes;
  SetLogDestination(&AppendToFile);
}

}  // namespace zel
