#include "profile/modFileVersion.h"

#include "ProfileTestSupport.h"

namespace zel {
namespace {

using testing::ScratchFolder;

TEST(FileVersion, ThirdNumberIsTheLastComponentUnsigned) {
  EXPECT_EQ(GetFileVersion(ScratchFolder::BesideTests("verstamp_16_0_17328_20124.exe")), "16.0.20124");
  EXPECT_EQ(GetFileVersion(ScratchFolder::BesideTests("verstamp_7_3_1_40000.exe")), "7.3.40000");
}

TEST(FileVersion, NoVersionForFilesWithoutResourceFoldersAndMissingFiles) {
  EXPECT_EQ(GetFileVersion(ScratchFolder::BesideTests("verstamp_none.exe")), "0.0.0");
  EXPECT_EQ(GetFileVersion(ScratchFolder::BesideTests("")), "0.0.0");
  EXPECT_EQ(GetFileVersion(ScratchFolder::BesideTests("no-such-program.exe")), "0.0.0");
  EXPECT_EQ(GetFileVersion(""), "0.0.0");
}

TEST(FileVersion, PathCrossesInTheAnsiCodePage) {
  ScratchFolder folder;
  const std::string copy =
      folder.CopyBeside("verstamp_16_0_17328_20124.exe", "\xE5\x8D\x87\xE7\xBA\xA7\\winword.exe");  // 升级
  EXPECT_EQ(GetFileVersion(copy), "16.0.20124");
}

}  // namespace
}  // namespace zel
