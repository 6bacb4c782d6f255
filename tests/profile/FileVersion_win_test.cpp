// The file version reader against programs built beside the tests with chosen
// version resources.
#include <gtest/gtest.h>

#include "profile/FileVersion.h"
#include "support/RegistrySandbox_win.h"

namespace zel {

TEST(FileVersion, BuildIsTheLastComponentUnsignedAndNoResourceGivesNoVersion) {
  const std::pair<std::string, std::string> cases[] = {
      {"verstamp_7_3_1_40000.exe", "7.3.40000"}, {"verstamp_none.exe", "0.0.0"}, {"", "0.0.0"},  // the folder
  };
  for (const auto& [name, version] : cases) EXPECT_EQ(GetFileVersion(GetAppDir() + name), version) << name;
  test::ScratchFolders scratch;  // the path crosses in the ANSI code page
  const std::string copy =
      test::CopyProgram("verstamp_16_0_17328_20124.exe", scratch.root + "\\\xE5\x8D\x87\\winword.exe");
  EXPECT_EQ(GetFileVersion(copy), "16.0.20124");
  // Only a normal file counts: a system (or hidden) executable has no version.
  ASSERT_TRUE(SetFileAttributesW(Widen(copy).c_str(), FILE_ATTRIBUTE_SYSTEM));
  EXPECT_EQ(GetFileVersion(copy), "0.0.0");
}

}  // namespace zel
