#include "system/Folders.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "support/ScratchFolders_win.h"

namespace zel {

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

// The product's processes start together and each makes the data folder for its
// marker: the ones that lose the creation must get the folder all the same.
TEST(Folders, ProductDataFolderMadeByManyAtOnceServesThemAll) {
  for (int round = 0; round < 50; ++round) {
    test::ScratchFolders scratch;
    std::atomic<int> missed{0};
    std::vector<std::thread> starts;
    for (int i = 0; i < 8; ++i)
      starts.emplace_back([&] {
        if (GetProductDataDir().empty()) ++missed;
      });
    for (std::thread& start : starts) start.join();
    ASSERT_EQ(missed, 0) << "round " << round;
  }
}

}  // namespace zel
