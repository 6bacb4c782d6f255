#include "support/TestPlatform.h"

#ifdef _WIN32
#include "system/Platform_win.h"
#else
#include <zlib.h>

#include <chrono>
#include <ctime>
#include <thread>

#include "system/HttpClient.h"
#include "system/Wmi.h"
#endif

namespace zel::test {

#ifdef _WIN32
Platform& BasePlatform() { return Win32Platform(); }
#else
namespace {

class HostPlatform final : public Platform {
 public:
  void SleepMs(std::uint32_t ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
  void PumpMessages() override {}
  CivilDate Today() override {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
  }
  int AskUser(const std::string&, const std::string&, unsigned) override { return 0; }
  bool IsWinXPOrOlder() override { return false; }
  bool IsElevated() override { return false; }
  std::unique_ptr<HttpClient> NewHttpClient() override { return nullptr; }
  Compress2Fn Compress2() override { return &::compress2; }
  std::unique_ptr<ClsWMI> BindWmi() override { return nullptr; }
  std::optional<AutomationServerFacts> AskAutomationServer(const std::string&) override {
    return std::nullopt;
  }
};

}  // namespace

Platform& BasePlatform() {
  static HostPlatform platform;
  return platform;
}
#endif

}  // namespace zel::test
