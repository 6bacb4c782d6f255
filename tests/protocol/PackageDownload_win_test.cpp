// The range route's wait for each answer, in-process on a virtual clock: exactly 120
// looks at the request, with a 10 ms sleep and the window's messages between two.
#include <gtest/gtest.h>

#include <string>

#include "protocol/PackageDownload.h"
#include "support/ScratchFolders_win.h"
#include "support/ScriptedHttpClient.h"
#include "support/VirtualPlatform.h"

namespace zel {
namespace {

struct NoSink final : ProgressSink {
  void SetStatus(const std::string&) override {}
};

TEST(RangeRouteWait, AnAnswerAtThe120thLookCountsOneLaterFails) {
  const std::string package(1000, 'p');
  for (const int pollsUntilDone : {119, -1}) {
    SCOPED_TRACE(pollsUntilDone);
    test::ScratchFolders scratch;
    test::VirtualPlatform platform;
    platform.newHttpClient = [&] {
      return std::make_unique<test::ScriptedClient>(test::Answer(200, package, pollsUntilDone));
    };
    const std::string target = scratch.root + "\\target.exe";
    NoSink sink;
    const bool answered = HttpRangeDownload("http://packages.invalid/p.exe", 1000, target, "", sink);
    EXPECT_EQ(
        std::tuple(answered, platform.sleeps, platform.now, platform.pumps >= 119, test::ReadBytes(target)),
        std::tuple(pollsUntilDone >= 0, 119, 1190u, true, pollsUntilDone >= 0 ? package : ""));
  }
}

}  // namespace
}  // namespace zel
