// Times FileMd5 over one file: prints the digest and the milliseconds of the best of
// the given rounds (the file is read once first, so every round finds it in the cache).
//   file_md5_bench.exe FILE [ROUNDS]
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "protocol/FileMd5.h"
#include "system/Platform_win.h"
#include "system/Text_win.h"

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: file_md5_bench FILE [ROUNDS]\n");
    return 2;
  }
  zel::PlatformScope platform(zel::Win32Platform());
  const std::string path = zel::Narrow(argv[1]);
  const int rounds = argc > 2 ? std::max(1, _wtoi(argv[2])) : 3;
  std::string digest = zel::FileMd5(path, zel::kCalgMd5);
  double best = 0;
  for (int i = 0; i < rounds; ++i) {
    const auto start = std::chrono::steady_clock::now();
    digest = zel::FileMd5(path, zel::kCalgMd5);
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (i == 0 || ms < best) best = ms;
  }
  std::printf("%s %.0f\n", digest.c_str(), best);
  return digest.empty() ? 1 : 0;
}
