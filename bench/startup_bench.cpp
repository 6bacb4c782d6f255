// Start-up cost of a "not due" run: zelpatcher.exe started without switches on a day
// already checked, against its floor (startup_floor.exe: the mutex, COM and WMI, one
// hidden window and one settings read that such a run cannot do without) and against
// an empty Win32 program with and without a window. All are started in turns in each
// round, so load on the machine affects them alike; medians are printed, and each
// ratio is the median of the ratios of one round (paired), which the load of a shared
// machine disturbs far less than a ratio of two medians.
//
//   startup_bench.exe [ROUNDS] [PROGRAM...]
//
// Further PROGRAMs (names in the program folder, e.g. other builds of the updater)
// are timed in the same rounds and compared with the floor as well.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "BenchSupport.h"

namespace {

constexpr double kTargetRatio = 1.15;
constexpr DWORD kPauseMs = 50;

struct Candidate {
  Candidate(std::string label, std::string program, std::string args = "")
      : label(std::move(label)), program(std::move(program)), args(std::move(args)) {}
  std::string label, program, args;
  std::vector<double> ms;
  int failures = 0;
};

}  // namespace

int main(int argc, char** argv) {
  using zel::bench::MedianMs;
  const zel::bench::DesktopKeeper keeper;
  const int rounds = argc > 1 ? std::max(3, std::atoi(argv[1])) : 21;
  zel::test::World world;
  CreateDirectoryA(world.UserDataDir().c_str(), nullptr);
  const std::string config = "[general]\r\nLastCheckUpdate=" + zel::bench::TodayText() +
                             "\r\nInstalledUUID=3F2504E0-4F89-11D3-9A0C-0305E82C3301\r\n";
  zel::test::WriteBytes(world.ConfigPath(), config);
  const std::string bin = zel::GetAppDir();

  std::vector<Candidate> runs = {
      {"zelpatcher.exe", bin + "zelpatcher.exe"},
      {"floor (mutex, COM+WMI, window, INI)", bin + "startup_floor.exe"},
      {"empty Win32 program", bin + "empty_win32.exe"},
      {"empty program with one hidden window", bin + "empty_win32.exe", "window"},
  };
  constexpr std::size_t kUpdater = 0, kFloor = 1;
  for (int i = 2; i < argc; ++i) runs.emplace_back(argv[i], bin + argv[i]);

  auto timeOne = [&](Candidate& c) {
    DWORD code = 1;
    const double ms = zel::bench::TimeRunMs([&] { return world.Start(c.program, c.args); }, &code);
    if (code != 0) ++c.failures;
    return ms;
  };
  for (Candidate& c : runs) timeOne(c);  // warm the file cache and the DLLs
  for (Candidate& c : runs) c.failures = 0;

  // Per round, the ratio of each program to the floor of the same round.
  std::vector<std::vector<double>> ratios(runs.size());
  std::vector<std::size_t> order(runs.size());
  std::iota(order.begin(), order.end(), 0);
  std::mt19937 shuffler(20261206);
  for (int round = 0; round < rounds; ++round) {
    // A new order in every round, so no program always follows the same one; a short
    // pause lets the system finish with the previous process first.
    std::shuffle(order.begin(), order.end(), shuffler);
    std::vector<double> ms(runs.size());
    for (const std::size_t i : order) {
      Sleep(kPauseMs);
      ms[i] = timeOne(runs[i]);
      runs[i].ms.push_back(ms[i]);
    }
    for (std::size_t i = 0; i < runs.size(); ++i) ratios[i].push_back(ms[i] / ms[kFloor]);
  }

  std::printf("not-due run, medians of %d rounds; ratios to the floor are paired per round:\n", rounds);
  for (std::size_t i = 0; i < runs.size(); ++i) {
    const Candidate& c = runs[i];
    std::printf("  %-40s %7.1f ms", c.label.c_str(), MedianMs(c.ms));
    if (i != kFloor) std::printf("   x %.3f", MedianMs(ratios[i]));
    if (c.failures) std::printf("   (%d runs failed)", c.failures);
    std::printf("\n");
  }
  const double ratio = MedianMs(ratios[kUpdater]);
  std::printf("zelpatcher.exe to its floor: %.3f (target at most %.2f: %s)\n", ratio, kTargetRatio,
              ratio <= kTargetRatio ? "met" : "not met");
  return 0;
}
