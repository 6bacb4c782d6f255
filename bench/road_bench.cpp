// Wall time of the whole update road for a package the service offers: a standard
// user's zelpatcher.exe /manual from its start until the package installer runs
// (offer, download, size and MD5 verification, cache, hand-over to the upgrading
// copy, which starts the installer once the checking instance has ended). Runs inside
// the end-to-end world (bench/road_bench.sh, which also measures the floor: the same
// download by curl plus md5sum). Prints two medians of the rounds in milliseconds:
// start to installer started, and start to upgrading copy started (the package is
// downloaded, verified and cached by then).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "support/WorldControl_win.h"
#include "system/Text.h"
#include "system/Text_win.h"

namespace {

bool InstallerRuns() { return zel::test::ProcessesNamed("zelupdatepkg.exe") > 0; }

// The checking instance and its upgrading copy share the file name: two of them
// running means the copy has started.
bool UpgradingCopyRuns() { return zel::test::ProcessesNamed("zelpatcher.exe") >= 2; }

}  // namespace

int main(int argc, char** argv) {
  using namespace zel::test;
  if (WorldSetting("ZEL_WORLD_SERVICE").empty() || argc < 2) {
    std::fprintf(stderr, "run it inside the end-to-end world: bench/road_bench.sh\n");
    return 2;
  }
  const zel::bench::DesktopKeeper keeper;
  const int rounds = std::max(1, std::atoi(argv[1]));
  std::vector<double> roadMs, copyMs;
  for (int round = 0; round < rounds; ++round) {
    World world;
    const std::string product = world.Root() + "Zel Guard\\";
    CreateDirectoryA(product.c_str(), nullptr);
    for (const char* file : {"zelpatcher.exe", "zlib1.dll", "zelupdateget.exe"})
      CopyFileA((zel::GetAppDir() + file).c_str(), (product + file).c_str(), FALSE);
    for (const char* file : {"sweepdoc.exe", "zelcore.exe", "docwatch.exe"})
      CopyFileA((zel::GetAppDir() + "zelproduct-1.0.1.exe").c_str(), (product + file).c_str(), FALSE);
    CreateDirectoryA(world.UserDataDir().c_str(), nullptr);
    WriteBytes(world.ConfigPath(), "[general]\r\nInstalledDate=02-03-2021\r\n");

    LARGE_INTEGER t0, tCopy{}, t1;
    QueryPerformanceCounter(&t0);
    Child run = world.Start(product + "zelpatcher.exe", "/manual", false);
    bool copySeen = false, started = false;
    for (int poll = 0; poll < 12000 && !(started = InstallerRuns()); ++poll) {
      if (!copySeen && (copySeen = UpgradingCopyRuns())) QueryPerformanceCounter(&tCopy);
      Sleep(5);
    }
    QueryPerformanceCounter(&t1);
    if (!started || !copySeen) {
      std::fprintf(stderr, "round %d: %s\n", round + 1,
                   started ? "the upgrading copy was never seen" : "the installer never started");
      return 1;
    }
    roadMs.push_back(zel::bench::MsBetween(t0, t1));
    copyMs.push_back(zel::bench::MsBetween(t0, tCopy));
    for (int poll = 0; poll < 2000 && InstallerRuns(); ++poll) Sleep(10);  // let it finish
    run.WaitExit(10000);
    Sleep(500);  // the upgrading copy empties the cache and ends
  }
  std::printf("%.1f %.1f\n", zel::bench::MedianMs(roadMs), zel::bench::MedianMs(copyMs));
  return 0;
}
