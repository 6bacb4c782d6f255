// The program's own seam: real sleeping, the real message pump, the local date, real
// message boxes and the real system facts.
#include <windows.h>

#include "system/SystemSeam.h"
#include "system/TextWin.h"
#include "system/modOsInfo.h"

namespace zel {
namespace {

class Win32Seam final : public SystemSeam {
 public:
  void SleepMs(std::uint32_t ms) override { ::Sleep(ms); }
  void PumpMessages() override {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  CivilDate Today() override {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay};
  }
  int AskUser(const std::string& text, const std::string& caption, unsigned flags) override {
    return ::MessageBoxW(nullptr, Widen(text).c_str(), Widen(caption).c_str(), flags);
  }
  bool IsWinXPOrOlder() override { return SystemIsWinXP(); }
  bool IsElevated() override { return SystemIsProcessElevated(); }
};

}  // namespace

SystemSeam& DefaultSeam() {
  static Win32Seam seam;
  return seam;
}

}  // namespace zel
