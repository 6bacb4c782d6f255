// What the check of a signed answer costs a checking run: the first verification of
// the run (CNG and CRYPT32 loaded on first call, the key imported) and, beside it, the
// median of later ones. The program is built with the world's key, and the world's
// service signs with it (bench/verify_bench.sh runs it inside the end-to-end world).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "driver/AnswerTrust.h"
#include "support/WorldControl_win.h"
#include "system/Platform_win.h"

namespace {

double TimeVerificationMs(const zel::PostedAnswer& answer, const std::string& body, bool& verified) {
  LARGE_INTEGER t0, t1;
  QueryPerformanceCounter(&t0);
  verified = zel::AnswerIsAuthentic(answer, body);
  QueryPerformanceCounter(&t1);
  return zel::bench::MsBetween(t0, t1);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string service = zel::test::WorldSetting("ZEL_WORLD_SERVICE");
  const auto seal = zel::QuerySeal();
  if (service.empty() || !seal) {
    std::fprintf(stderr, "run it inside the end-to-end world, built with its key: bench/verify_bench.sh\n");
    return 2;
  }
  zel::PlatformScope platform(zel::Win32Platform());
  const int rounds = argc > 1 ? std::max(3, std::atoi(argv[1])) : 101;
  const std::string body = "size=3&checksum=0&zip=0&data=616263";
  const zel::PostedAnswer answer = zel::HttpPostSealed(service + "/zelguard/update1", body, &*seal);

  bool verified = false;
  const double first = TimeVerificationMs(answer, body, verified);
  std::vector<double> later;
  for (int i = 0; i < rounds && verified; ++i) later.push_back(TimeVerificationMs(answer, body, verified));
  if (!verified) {
    std::fprintf(stderr, "the answer's signature did not verify\n");
    return 1;
  }
  std::printf("verification of a signed answer (%d bytes):\n", static_cast<int>(answer.body.size()));
  std::printf("  first of the run, libraries loaded   %7.2f ms (target at most 5 ms)\n", first);
  std::printf("  later ones, median of %3d            %7.2f ms\n", rounds, zel::bench::MedianMs(later));
  return 0;
}
