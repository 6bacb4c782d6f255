#include "system/RunMarkerRules.h"

#include <gtest/gtest.h>

namespace zel {
namespace {

TEST(OtherMarkerListing, OnlyACleanedNameOtherThanOursCounts) {
  const struct {
    std::vector<std::string> names;
    bool other;
  } cases[] = {
      {{}, false},
      {{"zelinstalling.run"}, false},
      {{"  zelinstalling.run ", "zelinstalling.run\r\n"}, false},  // blanks and CR LF pairs go
      {{"zelinstalling.run", "zelpatcher.run"}, true},
      {{"zelinstalling.run\n"}, true},  // a lone LF is no CR LF pair
      {{"zelinstalling.runx"}, true},
      {{"   ", "zelpatcher.run"}, false},  // an empty cleaned name ends the search
      {{"zelinstalling.run", "\r\n", "zelpatcher.run"}, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ListingHasOtherMarker(c.names, "zelinstalling"), c.other) << testing::PrintToString(c.names);
}

}  // namespace
}  // namespace zel
