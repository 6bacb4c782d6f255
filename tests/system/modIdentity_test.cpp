#include "system/modIdentity.h"

#include <gtest/gtest.h>

namespace zel {
namespace {

TEST(IsInvalidUUID, OnlyTheExactPlaceholdersCount) {
  EXPECT_TRUE(IsInvalidUUID(""));
  EXPECT_TRUE(IsInvalidUUID("00000000-0000-0000-0000-000000000000"));
  EXPECT_TRUE(IsInvalidUUID("FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF"));
  EXPECT_TRUE(IsInvalidUUID("FEFEFEFE-FEFE-FEFE-FEFE-FEFEFEFEFEFE"));

  EXPECT_FALSE(IsInvalidUUID("ffffffff-ffff-ffff-ffff-ffffffffffff"));
  EXPECT_FALSE(IsInvalidUUID("fefefefe-fefe-fefe-fefe-fefefefefefe"));
  EXPECT_FALSE(IsInvalidUUID("{00000000-0000-0000-0000-000000000000}"));
  EXPECT_FALSE(IsInvalidUUID(" 00000000-0000-0000-0000-000000000000"));
  EXPECT_FALSE(IsInvalidUUID("0"));
  EXPECT_FALSE(IsInvalidUUID("4C4C4544-0035-3010-8044-B4C04F583432"));
}

TEST(AppendToArray, CreatesGrowsAndKeepsUniqueItemsOnce) {
  std::vector<std::string> list;
  EXPECT_TRUE(AppendToArray(list, "Excel", true));
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0], "Excel");

  EXPECT_TRUE(AppendToArray(list, "Excel", true));
  EXPECT_EQ(list.size(), 1u);

  EXPECT_TRUE(AppendToArray(list, "excel", true));  // case-sensitive
  EXPECT_TRUE(AppendToArray(list, "Excel", false));
  EXPECT_EQ(list, (std::vector<std::string>{"Excel", "excel", "Excel"}));
}

}  // namespace
}  // namespace zel
