// What every benchmark here needs: the median of its samples, the wall time of one
// program run, and a window that keeps the desktop alive while it measures.
#pragma once
#include <windows.h>

#include <algorithm>
#include <vector>

#include "settings/CheckSchedule.h"
#include "support/E2eWorld_win.h"
#include "system/Platform_win.h"

namespace zel::bench {

// Today's date as the program writes it, by the real clock.
inline std::string TodayText() {
  const PlatformScope real(Win32Platform());
  return zel::TodayText();
}

inline double MedianMs(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Milliseconds between two performance-counter readings.
inline double MsBetween(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
  LARGE_INTEGER freq;
  QueryPerformanceFrequency(&freq);
  return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(freq.QuadPart);
}

// Milliseconds from the start of child to its end (at most 120 s); *exitCode gets its
// exit code, or stays as it was when the run did not end in time.
template <typename StartChild>
double TimeRunMs(StartChild start, DWORD* exitCode = nullptr) {
  LARGE_INTEGER t0, t1;
  QueryPerformanceCounter(&t0);
  test::Child child = start();
  child.WaitExit(120000, exitCode);
  QueryPerformanceCounter(&t1);
  return MsBetween(t0, t1);
}

// On a desktop the shell is always there; under Wine the desktop process lives only
// while some program has a window, so one stays open for the whole measurement.
class DesktopKeeper {
 public:
  DesktopKeeper()
      : window_(CreateWindowExW(0, L"STATIC", L"bench", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr)) {}
  ~DesktopKeeper() { DestroyWindow(window_); }
  DesktopKeeper(const DesktopKeeper&) = delete;
  DesktopKeeper& operator=(const DesktopKeeper&) = delete;

 private:
  HWND window_;
};

}  // namespace zel::bench
