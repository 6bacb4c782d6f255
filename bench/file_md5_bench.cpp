// Times FileMd5 over one file, or with "sha256" FileMd5AndSha256 (MD5 and SHA-256 from
// one read): prints the digest (the two digests) and the milliseconds of the best of
// the given rounds (the file is read once first, so every round finds it in the cache).
//   file_md5_bench.exe FILE [ROUNDS] [sha256]
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
    std::fprintf(stderr, "usage: file_md5_bench FILE [ROUNDS] [sha256]\n");
    return 2;
  }
  zel::PlatformScope platform(zel::Win32Platform());
  const std::string path = zel::Narrow(argv[1]);
  const int rounds = argc > 2 ? std::max(1, _wtoi(argv[2])) : 3;
  const bool both = argc > 3 && std::wstring(argv[3]) == L"sha256";
  const auto digest = [&]() -> std::string {
    if (!both) return zel::FileMd5(path, zel::kCalgMd5);
    const zel::FileDigests digests = zel::FileMd5AndSha256(path);
    return digests.md5.empty() ? std::string() : digests.md5 + " " + digests.sha256;
  };
  std::string made = digest();
  double best = 0;
  for (int i = 0; i < rounds; ++i) {
    const auto start = std::chrono::steady_clock::now();
    made = digest();
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (i == 0 || ms < best) best = ms;
  }
  std::printf("%s %.0f\n", made.c_str(), best);
  return made.empty() ? 1 : 0;
}
