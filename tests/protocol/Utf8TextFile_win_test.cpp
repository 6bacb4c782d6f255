#include "protocol/Utf8TextFile_win.h"

#include <gtest/gtest.h>

#include "support/ScratchFolders_win.h"

namespace zel {
namespace {

TEST(Utf8TextFile, WritesWithoutMarkOrFailsUntouchedAndReadsWholeCountingUtf16Units) {
  test::ScratchFolders scratch;
  const std::string path = scratch.root + "\\\u4EFB\u52A1.tmp";  // reached through the ANSI code page
  clsUTF8TextFile file;
  EXPECT_TRUE(file.WriteMsgToUTF8File(path, false, "a", true) && test::ReadBytes(path) == "a\r\n");
  // Replaced, without a byte-order mark; then appended without a separator.
  EXPECT_TRUE(file.WriteMsgToUTF8File(path, false, "\u4E2D") && test::ReadBytes(path) == "\xE4\xB8\xAD");
  ASSERT_TRUE(file.WriteMsgToUTF8File(path, true, "b", true) && file.WriteMsgToUTF8File(path, true, ""));
  EXPECT_EQ(test::ReadBytes(path), "\u4E2Db\r\n");

  // A file it cannot replace stays untouched.
  EXPECT_FALSE(file.WriteMsgToUTF8File(scratch.root + "\\missing\\x.txt", false, "a"));
  ASSERT_TRUE(test::WriteBytes(path, "old"));
  UniqueFile holder(
      CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(holder);
  EXPECT_FALSE(file.WriteMsgToUTF8File(path, false, "new") || file.WriteMsgToUTF8File(path, true, "new"));
  holder.Reset();
  EXPECT_EQ(test::ReadBytes(path), "old");

  // The UTF-16 units counted, and the text read into a variable that held some.
  const auto read = [&](const std::string& name) {
    std::string text = "stale";
    const int units = file.ReadFromUTF8File(name, text);
    return std::pair(units, text);
  };
  EXPECT_EQ(read(scratch.root + "\\missing.txt"), std::pair(0, std::string()));
  ASSERT_TRUE(test::WriteBytes(path, ""));
  EXPECT_EQ(read(path), std::pair(0, std::string()));
  ASSERT_TRUE(test::WriteBytes(path,
                               "\xEF\xBB\xBF"
                               "a\r\n\xF0\x9F\x98\x80\xFF"));
  // The mark, a, CR, LF, two units and U+FFFD.
  EXPECT_EQ(read(path), std::pair(7, std::string("\uFEFFa\r\n\U0001F600\uFFFD")));
  ASSERT_TRUE(test::WriteBytes(path, std::string("ab\0cd", 5)));
  EXPECT_EQ(read(path), std::pair(2, std::string("ab")));
}

}  // namespace
}  // namespace zel
