#include "system/Folders.h"

#include <gtest/gtest.h>

#include "support/ScratchFolders_win.h"

namespace zel {
namespace {

TEST(Folders, TempFilesAreNewEmptyFilesInTheWorkFolder) {
  test::ScratchFolders scratch;
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
