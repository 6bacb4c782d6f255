#include "system/modFolders.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "system/ScratchFolders.h"

namespace zel {
namespace {

using test::IsFolder;
using test::PathExists;

class Folders : public ::testing::Test {
 protected:
  test::ScratchFolders scratch;
};

TEST_F(Folders, AppDirIsTheProgramsFolder) {
  const std::string appDir = GetAppDir();
  ASSERT_FALSE(appDir.empty());
  EXPECT_EQ(appDir.back(), '\\');
  EXPECT_TRUE(PathExists(appDir + "win_tests.exe")) << appDir;
}

TEST_F(Folders, WorkFolderIsMadeUnderTemp) {
  const std::string expected = scratch.temp + "\\zelupdate_tmp\\";
  EXPECT_EQ(GetUpdateTempDir(), expected);
  EXPECT_TRUE(IsFolder(expected));
  scratch.Point("TEMP", scratch.temp + "\\");
  EXPECT_EQ(GetUpdateTempDir(), expected);
  // A folder that cannot be made is still named.
  scratch.Point("TEMP", scratch.temp + "\\missing");
  EXPECT_EQ(GetUpdateTempDir(), scratch.temp + "\\missing\\zelupdate_tmp\\");
}

TEST_F(Folders, UserDataFolderIsOnlyNamed) {
  EXPECT_EQ(GetUserDataDir(), scratch.appData + "\\zelGuard");
  EXPECT_FALSE(PathExists(scratch.appData + "\\zelGuard"));
}

TEST_F(Folders, ProductDataFolderIsMadeUnderProgramData) {
  const std::string expected = scratch.programData + "\\zelGuard\\";
  EXPECT_EQ(GetProductDataDir(), expected);
  EXPECT_TRUE(IsFolder(expected));
  scratch.Point("ProgramData", scratch.programData + "\\");
  EXPECT_EQ(GetProductDataDir(), expected);
}

TEST_F(Folders, ProductDataFolderFallsBackOrFails) {
  // No ProgramData (systems before Vista): the program's own folder, nothing created.
  scratch.Point("ProgramData", std::nullopt);
  EXPECT_EQ(GetProductDataDir(), GetAppDir());
  scratch.Point("ProgramData", "");
  EXPECT_EQ(GetProductDataDir(), GetAppDir());
  // A parent that does not exist: the folder cannot be made.
  scratch.Point("ProgramData", scratch.programData + "\\missing");
  EXPECT_EQ(GetProductDataDir(), "");
}

TEST_F(Folders, WindowsFolderAndShell) {
  scratch.Point("WINDIR", "C:\\windows");
  EXPECT_EQ(GetWindowsDir(), "C:\\windows\\");
  EXPECT_EQ(GetExplorerPath(), "C:\\windows\\explorer.exe");
  scratch.Point("WINDIR", "C:\\windows\\");
  EXPECT_EQ(GetExplorerPath(), "C:\\windows\\explorer.exe");
  EXPECT_TRUE(PathExists(GetExplorerPath()));
}

TEST_F(Folders, TempFilesAreNewEmptyFilesInTheWorkFolder) {
  const std::string first = GetTempFilePath();
  const std::string second = GetTempFilePath();
  EXPECT_NE(first, second);
  const std::string folder = scratch.temp + "\\zelupdate_tmp\\";
  for (const std::string& path : {first, second}) {
    ASSERT_EQ(path.rfind(folder + "zqt", 0), 0u) << path;
    EXPECT_EQ(path.substr(path.size() - 4), ".tmp") << path;
    EXPECT_EQ(test::ReadBytes(path), "") << path;
  }
  // No work folder to be had: no file.
  scratch.Point("TEMP", scratch.temp + "\\missing");
  EXPECT_EQ(GetTempFilePath(), "");
}

}  // namespace
}  // namespace zel
