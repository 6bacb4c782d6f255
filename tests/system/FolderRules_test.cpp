#include <gtest/gtest.h>

#include "system/FolderRules.h"

namespace zel {
namespace {

TEST(JoinEnvFolder, AddsExactlyOneBackslashBeforeTheName) {
  EXPECT_EQ(JoinEnvFolder("C:\\Users\\a\\AppData\\Roaming", "zelGuard"), "C:\\Users\\a\\AppData\\Roaming\\zelGuard");
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

TEST(JoinEnvFolder, ChineseFolderNamesStayIntact) {
  // 用户 ends in a byte that is no backslash in UTF-8 (in GBK a trail byte can be 0x5C).
  EXPECT_EQ(JoinEnvFolder("C:\\\xE7\x94\xA8\xE6\x88\xB7", "zelGuard"), "C:\\\xE7\x94\xA8\xE6\x88\xB7\\zelGuard");
}

}  // namespace
}  // namespace zel
