// The host build has no window system: sleeping is real, pumping does nothing.
#include <chrono>
#include <ctime>
#include <thread>

#include "system/SystemSeam.h"

namespace zel {
namespace {

class HostSeam final : public SystemSeam {
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
};

}  // namespace

SystemSeam& DefaultSeam() {
  static HostSeam seam;
  return seam;
}

}  // namespace zel
