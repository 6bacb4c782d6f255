#include "protocol/Utf8TextFile_win.h"

#include <gtest/gtest.h>

#include "support/ScratchFolders_win.h"

namespace zel {
namespace {

class Utf8TextFileTest : public ::testing::Test {
 protected:
  test::ScratchFolders scratch_;
  const std::string path_ = scratch_.root + "\\\u4EFB\u52A1.tmp";  // reached through the ANSI code page
  clsUTF8TextFile file_;
};

TEST_F(Utf8TextFileTest, WritesUtf8BytesWithoutMarkAndCrLfOnlyWhenAskedOrFailsUntouched) {
  EXPECT_TRUE(file_.WriteMsgToUTF8File(path_, false, "a", true) && test::ReadBytes(path_) == "a\r\n");
  // Replaced, without a byte-order mark; then appended without a separator.
  EXPECT_TRUE(file_.WriteMsgToUTF8File(path_, false, "\u4E2D") && test::ReadBytes(path_) == "\xE4\xB8\xAD");
  ASSERT_TRUE(file_.WriteMsgToUTF8File(path_, true, "b", true) && file_.WriteMsgToUTF8File(path_, true, ""));
  EXPECT_EQ(test::ReadBytes(path_), "\u4E2Db\r\n");

  // A file it cannot replace stays untouched.
  EXPECT_FALSE(file_.WriteMsgToUTF8File(scratch_.root + "\\missing\\x.txt", false, "a"));
  ASSERT_TRUE(test::WriteBytes(path_, "old"));
  UniqueFile holder(CreateFileW(Widen(path_).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                nullptr));
  ASSERT_TRUE(holder);
  EXPECT_FALSE(file_.WriteMsgToUTF8File(path_, false, "new") || file_.WriteMsgToUTF8File(path_, true, "new"));
  holder.Reset();
  EXPECT_EQ(test::ReadBytes(path_), "old");
}

TEST_F(Utf8TextFileTest, ReadsTheWholeFileAndCountsUtf16Units) {
  // The UTF-16 units counted, and the text read into a variable that held some.
  const auto read = [&](const std::string& path) {
    std::string text = "stale";
    const int units = file_.ReadFromUTF8File(path, text);
    return std::pair(units, text);
  };
  EXPECT_EQ(read(scratch_.root + "\\missing.txt"), std::pair(0, std::string()));
  ASSERT_TRUE(test::WriteBytes(path_, ""));
  EXPECT_EQ(read(path_), std::pair(0, std::string()));
  ASSERT_TRUE(test::WriteBytes(path_, "\xEF\xBB\xBF" "a\r\n\xF0\x9F\x98\x80\xFF"));
  // The mark, a, CR, LF, two units and U+FFFD.
  EXPECT_EQ(read(path_), std::pair(7, std::string("\uFEFFa\r\n\U0001F600\uFFFD")));
  ASSERT_TRUE(test::WriteBytes(path_, std::string("ab\0cd", 5)));
  EXPECT_EQ(read(path_), std::pair(2, std::string("ab")));
}

}  // namespace
}  // namespace zel
