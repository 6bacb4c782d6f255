#include "system/RunMarkers.h"

#include <gtest/gtest.h>

namespace zel {

// Names are cleaned of outer spaces and CR LF pairs before they are compared; the
// first name that is not the own marker decides, and an empty one ends the look.
TEST(MarkerListing, FirstNameOtherThanTheOwnMarkerDecidesAndAnEmptyNameEndsTheLook) {
  const std::pair<std::vector<std::string>, bool> rows[] = {
      {{}, false},
      {{"zelcore.run"}, true},
      {{" zelinstalling.run\r\n", "zelcore.run"}, true},  // own marker after cleaning; the next decides
      {{"zelinstall\r\ning.run"}, false},                 // a CR LF inside goes too
      {{"zelinstalling.run", "  \r\n", "zelcore.run"}, false},
      {{"zelinstalling.run\n"}, true},  // a bare line feed stays
  };
  for (const auto& [names, other] : rows)
    EXPECT_EQ(ListingHasOtherMarker(names, "zelinstalling"), other) << testing::PrintToString(names);
}

}  // namespace zel
