#include "system/Folders.h"

#include <gtest/gtest.h>

namespace zel {
namespace {

TEST(JoinEnvFolder, AddsABackslashOnlyWhenTheValueDoesNotEndInOne) {
  EXPECT_EQ(JoinEnvFolder("C:\\Users\\a\\AppData\\Roaming", "zelGuard"), "C:\\Users\\a\\AppData\\Roaming\\zelGuard");
  EXPECT_EQ(JoinEnvFolder("C:\\Temp\\", "zelupdate_tmp"), "C:\\Temp\\zelupdate_tmp");
  EXPECT_EQ(JoinEnvFolder("C:/x/", "y"), "C:/x/\\y");  // a forward slash is just a character
  EXPECT_EQ(JoinEnvFolder("", "zelupdate_tmp"), "\\zelupdate_tmp");
}

}  // namespace
}  // namespace zel
