#include "system/Platform_win.h"

#include <windows.h>

#include "system/Automation_win.h"
#include "system/Folders.h"
#include "system/HttpClient.h"
#include "system/OsInfo.h"
#include "system/Text_win.h"
#include "system/Wmi.h"
#include "system/ZlibLibrary_win.h"

namespace zel {
namespace {

class Win32 final : public Platform {
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
  std::unique_ptr<HttpClient> NewHttpClient() override { return CreateHttpClient(); }
  Compress2Fn Compress2() override {
    static const Compress2Fn fn = LoadCompress2From(Widen(GetAppDir()));
    return fn;
  }
  std::unique_ptr<ClsWMI> BindWmi() override { return BindWmiService(); }
  std::optional<AutomationServerFacts> AskAutomationServer(const std::string& progId) override {
    return QueryAutomationServer(progId);
  }
};

}  // namespace

Platform& Win32Platform() {
  static Win32 platform;
  return platform;
}

}  // namespace zel
