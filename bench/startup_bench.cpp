// Start-up cost of a "not due" run: zelpatcher.exe started without switches on a day
// already checked, against an empty Win32 program started the same way. Both are
// started alternately in one run, so load on the machine affects them alike; the
// medians and their ratio are printed.
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <string>
#include <vector>

#include "BenchSupport.h"

namespace {

double TimeOneRun(const zel::test::World& world, const std::string& program, const std::string& args = "") {
  return zel::bench::TimeRunMs([&] { return world.Start(program, args); });
}

}  // namespace

int main(int argc, char** argv) {
  const zel::bench::DesktopKeeper keeper;
  const int rounds = argc > 1 ? std::max(3, std::atoi(argv[1])) : 15;
  zel::test::World world("bench");
  CreateDirectoryA((world.AppData() + "\\zelGuard").c_str(), nullptr);
  const std::string config = "[general]\r\nLastCheckUpdate=" + zel::test::TodayDateText() +
                             "\r\nInstalledUUID=3F2504E0-4F89-11D3-9A0C-0305E82C3301\r\n";
  zel::test::WriteFileBytes(world.ConfigPath(), config);
  const std::string updater = zel::test::BinDir() + "zelpatcher.exe";
  const std::string empty = zel::test::BinDir() + "empty_win32.exe";

  TimeOneRun(world, updater);  // warm the file cache and the DLLs
  TimeOneRun(world, empty);
  std::vector<double> updaterMs, emptyMs, windowMs;
  for (int i = 0; i < rounds; ++i) {
    updaterMs.push_back(TimeOneRun(world, updater));
    emptyMs.push_back(TimeOneRun(world, empty));
    windowMs.push_back(TimeOneRun(world, empty, "window"));
  }
  using zel::bench::MedianMs;
  const double u = MedianMs(updaterMs), e = MedianMs(emptyMs), w = MedianMs(windowMs);
  std::printf("not-due run, medians of %d rounds:\n", rounds);
  std::printf("  zelpatcher.exe                      %7.1f ms\n", u);
  std::printf("  empty Win32 program                 %7.1f ms\n", e);
  std::printf("  empty program with one hidden window %6.1f ms\n", w);
  std::printf("ratio to the empty program %.3f (target at most 1.2)\n", u / e);
  std::printf("ratio to the empty program with a window %.3f\n", u / w);
  return 0;
}
