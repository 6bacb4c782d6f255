#include "system/FolderRules.h"

#include <gtest/gtest.h>

namespace zel {
namespace {

TEST(JoinEnvFolder, AddsExactlyOneBackslashBeforeTheName) {
  EXPECT_EQ(JoinEnvFolder("C:\\Users\\a\\AppData\\Roaming", "zelGuard"),
            "C:\\Users\\a\\AppData\\Roaming\\zelGuard");
  EXPECT_EQ(JoinEnvFolder("C:\\Temp\\", "zelupdate_tmp"), "C:\\Temp\\zelupdate_tmp");
  EXPECT_EQ(JoinEnvFolder("D:\\", "zelGuard"), "D:\\zelGuard");
  // Only a final backslash counts; a forward slash is just a character.
  EXPECT_EQ(JoinEnvFolder("C:/x/", "y"), "C:/x/\\y");
}

TEST(JoinEnvFolder, EmptyValueGivesALoneBackslash) {
  EXPECT_EQ(JoinEnvFolder("", "zelupdate_tmp"), "\\zelupdate_tmp");
  EXPECT_EQ(JoinEnvFolder("", ""), "\\");
  EXPECT_EQ(JoinEnvFolder("C:\\Windows", ""), "C:\\Windows\\");
}

}  // namespace
}  // namespace zel
