#include "profile/Identity.h"

#include <gtest/gtest.h>

namespace zel {

TEST(IsInvalidUUID, OnlyTheExactUpperCasePlaceholdersCount) {
  for (const char* uuid : {"", "00000000-0000-0000-0000-000000000000", "FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF",
                           "FEFEFEFE-FEFE-FEFE-FEFE-FEFEFEFEFEFE"})
    EXPECT_TRUE(IsInvalidUUID(uuid)) << uuid;
  for (const char* uuid : {"ffffffff-ffff-ffff-ffff-ffffffffffff", "fefefefe-fefe-fefe-fefe-fefefefefefe",
                           "{00000000-0000-0000-0000-000000000000}", " 00000000-0000-0000-0000-000000000000",
                           "0", "4C4C4544-0035-3010-8044-B4C04F583432"})
    EXPECT_FALSE(IsInvalidUUID(uuid)) << uuid;
}

}  // namespace zel
