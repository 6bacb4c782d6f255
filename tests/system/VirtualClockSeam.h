// A seam on a virtual clock for tests: sleeping advances the clock at once and runs
// what was scheduled for the time passed. Installs itself for its lifetime.
#pragma once
#include <cstdint>
#include <functional>
#include <utility>

#include "system/SystemSeam.h"

namespace zel::test {

class VirtualClockSeam final : public SystemSeam {
 public:
  VirtualClockSeam() : previous_(SetSeam(this)) {}
  ~VirtualClockSeam() override { SetSeam(previous_); }
  VirtualClockSeam(const VirtualClockSeam&) = delete;
  VirtualClockSeam& operator=(const VirtualClockSeam&) = delete;

  void SleepMs(std::uint32_t ms) override {
    ++sleeps;
    now += ms;
    if (then && at <= now) std::exchange(then, nullptr)();
  }
  void PumpMessages() override { ++pumps; }
  CivilDate Today() override { return {2026, 4, 17}; }
  int AskUser(const std::string&, const std::string&, unsigned) override { return 0; }
  bool IsWinXPOrOlder() override { return xp; }
  bool IsElevated() override { return false; }

  std::uint64_t now = 0;  // virtual milliseconds since the seam was made
  int sleeps = 0;
  int pumps = 0;
  bool xp = false;
  std::uint64_t at = 0;        // virtual time at which ...
  std::function<void()> then;  // ... this runs, during the sleep that passes it

 private:
  SystemSeam* previous_;
};

}  // namespace zel::test
