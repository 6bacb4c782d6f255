#include "system/RunMarkers.h"

#include <gtest/gtest.h>

namespace zel {
namespace {

// Names are cleaned of outer spaces and CR LF pairs before they are compared; the
// first name that is not the own marker decides, and an empty one ends the look.
TEST(MarkerListing, FirstNameOtherThanTheOwnMarkerDecidesAndAnEmptyNameEndsTheLook) {
  const struct {
    std::vector<std::string> names;
    bool other;
  } rows[] = {
      {{}, false},
      {{"zelcore.run"}, true},
      {{" zelinstalling.run\r\n", "zelcore.run"}, true},  // own marker after cleaning; the next decides
      {{"zelinstall\r\ning.run"}, false},                 // a CR LF inside goes too
      {{"zelinstalling.run", "  \r\n", "zelcore.run"}, false},
      {{"zelinstalling.run\n"}, true},  // a bare line feed stays
  };
  for (const auto& row : rows) {
    std::string listing;
    for (const auto& name : row.names) listing += "[" + name + "]";
    EXPECT_EQ(ListingHasOtherMarker(row.names, "zelinstalling"), row.other) << listing;
  }
}

}  // namespace
}  // namespace zel
