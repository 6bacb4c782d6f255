// A seam whose time stands still but is counted: every wait and message pump is
// recorded in order, so a 60-second retry wait takes no real time.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "system/SystemSeam.h"

namespace zel {

class VirtualClock final : public SystemSeam {
 public:
  VirtualClock() : previous_(SetSeam(this)) {}
  ~VirtualClock() override { SetSeam(previous_); }
  VirtualClock(const VirtualClock&) = delete;
  VirtualClock& operator=(const VirtualClock&) = delete;

  void SleepMs(std::uint32_t ms) override {
    now += ms;
    events.push_back("sleep " + std::to_string(ms));
  }
  void PumpMessages() override { events.push_back("pump"); }
  CivilDate Today() override { return {2026, 4, 17}; }
  int AskUser(const std::string&, const std::string&, unsigned) override { return 0; }
  bool IsWinXPOrOlder() override { return false; }
  bool IsElevated() override { return false; }

  std::uint64_t now = 0;
  std::vector<std::string> events;

 private:
  SystemSeam* previous_;
};

}  // namespace zel
