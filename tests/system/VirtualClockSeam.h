// A seam on a virtual clock for tests: sleeping advances the clock at once and runs
// whatever was scheduled for the time passed. Installs itself for its lifetime.
#pragma once
#include <cstdint>
#include <functional>
#include <map>

#include "system/SystemSeam.h"

namespace zel::test {

class VirtualClockSeam final : public SystemSeam {
 public:
  VirtualClockSeam() : previous_(SetSeam(this)) {}
  ~VirtualClockSeam() override { SetSeam(previous_); }
  VirtualClockSeam(const VirtualClockSeam&) = delete;
  VirtualClockSeam& operator=(const VirtualClockSeam&) = delete;

  // Runs `action` during the sleep that carries the clock past `ms`.
  void At(std::uint64_t ms, std::function<void()> action) { schedule_.emplace(ms, std::move(action)); }

  void SleepMs(std::uint32_t ms) override {
    ++sleeps;
    now += ms;
    while (!schedule_.empty() && schedule_.begin()->first <= now) {
      auto action = std::move(schedule_.begin()->second);
      schedule_.erase(schedule_.begin());
      action();
    }
  }
  void PumpMessages() override { ++pumps; }
  CivilDate Today() override { return today; }
  int AskUser(const std::string&, const std::string&, unsigned) override { return 0; }
  bool IsWinXPOrOlder() override { return xp; }
  bool IsElevated() override { return false; }

  std::uint64_t now = 0;  // virtual milliseconds since the seam was made
  int sleeps = 0;
  int pumps = 0;
  CivilDate today{2026, 4, 17};
  bool xp = false;

 private:
  SystemSeam* previous_;
  std::multimap<std::uint64_t, std::function<void()>> schedule_;
};

}  // namespace zel::test
