#include "system/modFolders.h"

#include <gtest/gtest.h>

#include "system/ScratchFolders.h"

namespace zel {
namespace {

class Folders : public ::testing::Test {
 protected:
  test::ScratchFolders scratch;
};

TEST_F(Folders, ProductDataFolderFallsBackToTheProgramFolderOrFails) {
  EXPECT_EQ(GetProductDataDir(), scratch.programData + "\\zelGuard\\");
  ASSERT_TRUE(test::PathExists(GetAppDir() + "win_tests.exe")) << GetAppDir();
  // No ProgramData (systems before Vista): the program's own folder.
  for (const auto& value : {std::optional<std::string>(), std::optional<std::string>("")}) {
    scratch.Point("ProgramData", value);
    EXPECT_EQ(GetProductDataDir(), GetAppDir());
  }
  scratch.Point("ProgramData", scratch.programData + "\\missing");  // cannot be made
  EXPECT_EQ(GetProductDataDir(), "");
}

TEST_F(Folders, TempFilesAreNewEmptyFilesInTheWorkFolder) {
  const std::string first = GetTempFilePath(), second = GetTempFilePath();
  EXPECT_NE(first, second);
  for (const std::string& path : {first, second}) {
    EXPECT_EQ(path.rfind(scratch.temp + "\\zelupdate_tmp\\zqt", 0), 0u) << path;
    EXPECT_TRUE(test::PathExists(path) && test::ReadBytes(path).empty()) << path;
  }
  scratch.Point("TEMP", scratch.temp + "\\missing");  // no work folder to be had: no file
  EXPECT_EQ(GetTempFilePath(), "");
}

}  // namespace
}  // namespace zel
