#include "system/RunMarkerRules.h"

#include <gtest/gtest.h>

#include "system/VirtualClockSeam.h"

namespace zel {
namespace {

using Names = std::vector<std::string>;

TEST(OtherMarkerListing, OwnMarkerAloneIsNotAnother) {
  EXPECT_FALSE(ListingHasOtherMarker({}, "zelinstalling"));
  EXPECT_FALSE(ListingHasOtherMarker(Names{"zelinstalling.run"}, "zelinstalling"));
  // Blanks around the name and CR LF pairs are cleaned away before comparing.
  EXPECT_FALSE(
      ListingHasOtherMarker(Names{"  zelinstalling.run ", "zelinstalling.run\r\n"}, "zelinstalling"));
}

TEST(OtherMarkerListing, AnyOtherNameCounts) {
  EXPECT_TRUE(ListingHasOtherMarker(Names{"zelinstalling.run", "zelpatcher.run"}, "zelinstalling"));
  EXPECT_TRUE(ListingHasOtherMarker(Names{"zelpatcher.run"}, "zelinstalling"));
  // A lone CR or LF is not a CR LF pair and stays part of the name.
  EXPECT_TRUE(ListingHasOtherMarker(Names{"zelinstalling.run\n"}, "zelinstalling"));
  EXPECT_TRUE(ListingHasOtherMarker(Names{"zelinstalling.runx"}, "zelinstalling"));
}

TEST(OtherMarkerListing, EmptyCleanedNameEndsTheSearch) {
  EXPECT_FALSE(ListingHasOtherMarker(Names{"   ", "zelpatcher.run"}, "zelinstalling"));
  EXPECT_FALSE(ListingHasOtherMarker(Names{"zelinstalling.run", "\r\n", "zelpatcher.run"}, "zelinstalling"));
}

// A change at virtual time `at`, the expected result, and the virtual time the wait ends.
struct WaitCase {
  std::uint64_t at;
  bool result;
  std::uint64_t endsAt;
};

// Waiting for a marker to appear, one second apart, at most 60 checks.
TEST(PollForMarker, SeesTheMarkerAtTheCheckAfterItAppears) {
  for (const WaitCase& c : {WaitCase{2500, true, 3000}, {59500, true, 60000}, {60500, false, 61000}}) {
    test::VirtualClockSeam clock;
    bool present = false;
    clock.At(c.at, [&] { present = true; });
    int checks = 0;
    EXPECT_EQ(PollForMarker(1000, 60,
                            [&] {
                              ++checks;
                              return present;
                            }),
              c.result)
        << c.at;
    EXPECT_EQ(clock.now, c.endsAt) << c.at;
    EXPECT_LE(checks, 60);
  }
}

TEST(PollForMarker, MessagesArePumpedBeforeEachSleep) {
  // Even a marker made while the window handles its first messages is seen only at
  // the first check, one interval after the call.
  test::VirtualClockSeam clock;
  bool present = false;
  clock.onPump = [&] { present = true; };
  EXPECT_TRUE(PollForMarker(1000, 60, [&] { return present; }));
  EXPECT_EQ(clock.now, 1000u);
  EXPECT_EQ(clock.pumps, 1);
}

// Waiting for every other marker to vanish, one second apart, at most 60 checks.
TEST(PollUntilOthersGone, TrueAtTheFirstCheckThatFindsNone) {
  for (const WaitCase& c : {WaitCase{2500, true, 3000}, {59500, true, 60000}, {60500, false, 60000}}) {
    test::VirtualClockSeam clock;
    bool others = true;
    clock.At(c.at, [&] { others = false; });
    int checks = 0;
    EXPECT_EQ(PollUntilOthersGone(1000, 60,
                                  [&] {
                                    ++checks;
                                    return std::optional<bool>(others);
                                  }),
              c.result)
        << c.at;
    EXPECT_EQ(clock.now, c.endsAt) << c.at;
    EXPECT_LE(checks, 60);
  }
}

TEST(PollUntilOthersGone, MessagesArePumpedBetweenSleepAndCheck) {
  test::VirtualClockSeam clock;
  bool others = true;
  clock.onPump = [&] { others = clock.now < 1000; };
  EXPECT_TRUE(PollUntilOthersGone(1000, 60, [&] { return std::optional<bool>(others); }));
  EXPECT_EQ(clock.now, 1000u);
}

}  // namespace
}  // namespace zel
