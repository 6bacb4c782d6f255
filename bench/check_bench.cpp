// Wall time of a checking run that the service answers with "latest version" (action
// 31): zelpatcher.exe /manual, window hidden, from its start to its end, against the
// floor of any such run: a program that starts, posts one query to the same service
// and ends (post_once.exe). A run that is not due (start and end only) shows how much
// of the time is start-up. All run not elevated, alternately in one run, so load on
// the machine affects them alike; medians and the ratio are printed. Runs inside the
// end-to-end world (bench/check_bench.sh).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "support/WorldControl_win.h"

namespace {

double TimeOneRun(const zel::test::World& world, const std::string& program, const std::string& args,
                  int& failures) {
  DWORD code = 1;
  const double ms = zel::bench::TimeRunMs([&] { return world.Start(program, args, false); }, &code);
  if (code != 0) ++failures;
  return ms;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace zel::test;
  const std::string control = WorldSetting("ZEL_WORLD_SERVICE");
  if (control.empty()) {
    std::fprintf(stderr, "run it inside the end-to-end world: bench/check_bench.sh\n");
    return 2;
  }
  const zel::bench::DesktopKeeper keeper;
  const int rounds = argc > 1 ? std::max(3, std::atoi(argv[1])) : 10;

  World world, idle;
  const std::string updater = world.InstallProduct({{"sweepdoc.exe", "zelver-2.1.0.0.exe"}});
  // An account that has checked before: the short profile goes out. The idle account
  // has checked today already.
  for (const World* w : {&world, &idle}) CreateDirectoryA(w->UserDataDir().c_str(), nullptr);
  WriteBytes(world.ConfigPath(), "[general]\r\nInstalledDate=02-03-2021\r\n");
  WriteBytes(idle.ConfigPath(),
             "[general]\r\nInstalledDate=02-03-2021\r\nLastCheckUpdate=" + zel::bench::TodayText() + "\r\n");

  const std::string floor = zel::GetAppDir() + "post_once.exe";
  ServiceControl service(control);
  service.Reset();
  int failures = 0;
  TimeOneRun(world, updater, "/manual", failures);  // warm the file cache, the DLLs and WMI
  TimeOneRun(world, floor, "", failures);
  std::vector<double> checkMs, floorMs, idleMs;
  for (int i = 0; i < rounds; ++i) {
    checkMs.push_back(TimeOneRun(world, updater, "/manual", failures));
    floorMs.push_back(TimeOneRun(world, floor, "", failures));
    idleMs.push_back(TimeOneRun(idle, updater, "", failures));
  }
  const std::string log = service.Requests();
  std::size_t posts = 0;
  for (auto at = log.find("\"POST\""); at != std::string::npos; at = log.find("\"POST\"", at + 1)) ++posts;

  using zel::bench::MedianMs;
  const double c = MedianMs(checkMs), f = MedianMs(floorMs), i = MedianMs(idleMs);
  std::printf("checking run answered \"latest version\", medians of %d rounds:\n", rounds);
  std::printf("  zelpatcher.exe /manual             %7.1f ms\n", c);
  std::printf("  floor: start plus one POST         %7.1f ms\n", f);
  std::printf("  zelpatcher.exe, not due            %7.1f ms\n", i);
  std::printf("ratio %.3f (target at most 1.5)\n", c / f);
  if (failures != 0 || posts != 2u * (rounds + 1))
    std::printf("warning: %d runs failed, the service saw %zu queries instead of %d\n", failures, posts,
                2 * (rounds + 1));
  return 0;
}
