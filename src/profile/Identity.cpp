// The portable half of the installation identity: which UUIDs count as none.
#include "profile/Identity.h"

#include <algorithm>
#include <array>

namespace zel {

bool IsInvalidUUID(std::string_view uuid) {
  // Values that machines report when they have no real UUID. Compared exactly: the
  // same digits in lower case are a machine's own report and count as usable.
  static constexpr std::array<std::string_view, 3> kPlaceholders = {
      "00000000-0000-0000-0000-000000000000",
      "FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF",
      "FEFEFEFE-FEFE-FEFE-FEFE-FEFEFEFEFEFE",
  };
  return uuid.empty() || std::find(kPlaceholders.begin(), kPlaceholders.end(), uuid) != kPlaceholders.end();
}

}  // namespace zel
