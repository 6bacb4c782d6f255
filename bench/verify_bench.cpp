// What signed updates add to a checking run, besides the bytes on the wire: naming the
// keys (CNG loaded on first use) and making the query's nonce, then the answer's check
// (CRYPT32 loaded on first call, the key imported, two digests and the signature), each
// the first of its process; and, beside them, the median of later checks. The program
// is built with the world's key, and the world's service signs with it
// (bench/verify_bench.sh runs it inside the end-to-end world).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "driver/AnswerTrust.h"
#include "protocol/RequestBody.h"
#include "support/WorldControl_win.h"
#include "system/Platform_win.h"

namespace {

template <typename Step>
double TimeMs(Step step) {
  LARGE_INTEGER t0, t1;
  QueryPerformanceCounter(&t0);
  step();
  QueryPerformanceCounter(&t1);
  return zel::bench::MsBetween(t0, t1);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string service = zel::test::WorldSetting("ZEL_WORLD_SERVICE");
  if (service.empty() || !zel::SignedUpdates()) {
    std::fprintf(stderr, "run it inside the end-to-end world, built with its key: bench/verify_bench.sh\n");
    return 2;
  }
  zel::PlatformScope platform(zel::Win32Platform());
  const int rounds = argc > 1 ? std::max(3, std::atoi(argv[1])) : 101;
  const std::string body = zel::EncodeRequestBody("AppVer=" + zel::HexEncodeText("1.0.1") +
                                                  "&ExecutionLevel=" + zel::HexEncodeText("0"));
  std::optional<zel::AnswerSealRequest> seal;
  const double sealMs = TimeMs([&] {
    seal = zel::QuerySeal();
    seal->newNonce();
  });
  const zel::PostedAnswer answer = zel::HttpPostSealed(service + "/zelguard/update1", body, &*seal);

  bool verified = false;
  const double firstMs = TimeMs([&] { verified = zel::AnswerIsAuthentic(answer, body); });
  std::vector<double> later;
  for (int i = 0; i < rounds && verified; ++i)
    later.push_back(TimeMs([&] { verified = zel::AnswerIsAuthentic(answer, body); }));
  if (!verified) {
    std::fprintf(stderr, "the answer's signature did not verify\n");
    return 1;
  }
  std::printf("signed updates in a checking run (answer of %d bytes):\n",
              static_cast<int>(answer.body.size()));
  std::printf("  keys named and a nonce made, first    %7.2f ms\n", sealMs);
  std::printf("  the answer checked, first             %7.2f ms\n", firstMs);
  std::printf("  together                              %7.2f ms (target at most 5 ms)\n", sealMs + firstMs);
  std::printf("  later checks, median of %3d           %7.2f ms\n", rounds, zel::bench::MedianMs(later));
  return 0;
}
