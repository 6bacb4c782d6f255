// One range download of a package, timed: range_bench URL SIZE TARGET. Prints the
// result, the time and the rate, then waits for a line on its input so that the
// script that started it can read the process's peak memory before it ends.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "protocol/PackageDownload.h"
#include "system/Platform_win.h"

namespace {

class CountingSink final : public zel::ProgressSink {
 public:
  void SetStatus(const std::string&) override { ++updates; }
  int updates = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: range_bench URL SIZE TARGET\n");
    return 2;
  }
  zel::PlatformScope platform(zel::Win32Platform());
  const std::int32_t size = static_cast<std::int32_t>(std::strtol(argv[2], nullptr, 10));
  CountingSink sink;
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  const bool ok = zel::HttpRangeDownload(argv[1], size, argv[3], zel::kDownloadProgressFormat, sink);
  QueryPerformanceCounter(&end);
  const double ms =
      1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
  std::printf("%s %.0f ms %.1f MiB/s %d pieces\n", ok ? "ok" : "failed", ms, size / 1048576.0 / (ms / 1000.0),
              sink.updates);
  std::fflush(stdout);
  std::getchar();
  return ok ? 0 : 1;
}
