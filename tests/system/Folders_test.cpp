#include "system/Folders.h"

#include <gtest/gtest.h>

namespace zel {
namespace {

TEST(JoinEnvFolder, AddsABackslashOnlyWhenTheValueDoesNotEndInOne) {
  const struct {
    const char *value, *name, *joined;
  } cases[] = {
      {"C:\\Users\\a\\AppData\\Roaming", "zelGuard", "C:\\Users\\a\\AppData\\Roaming\\zelGuard"},
      {"C:\\Temp\\", "zelupdate_tmp", "C:\\Temp\\zelupdate_tmp"},
      {"D:\\", "zelGuard", "D:\\zelGuard"},
      {"C:/x/", "y", "C:/x/\\y"},  // a forward slash is just a character
      {"", "zelupdate_tmp", "\\zelupdate_tmp"},
      {"C:\\Windows", "", "C:\\Windows\\"},
  };
  for (const auto& c : cases) EXPECT_EQ(JoinEnvFolder(c.value, c.name), c.joined) << c.value;
}

}  // namespace
}  // namespace zel
