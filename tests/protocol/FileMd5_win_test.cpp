#include "protocol/FileMd5.h"

#include <gtest/gtest.h>

#include "support/ScratchFolders_win.h"
#include "support/VirtualPlatform.h"

namespace zel {
namespace {

// Bytes that differ from block to block, so a block read twice or out of order shows.
std::string Pattern(std::size_t length) {
  std::string bytes(length, '\0');
  for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>((i * 31 + i / 32768) & 0xFF);
  return bytes;
}

class FileMd5Test : public ::testing::Test {
 protected:
  std::string Md5Of(const std::string& bytes, const std::string& name = "f.bin") {
    const std::string path = scratch_.root + "\\" + name;
    EXPECT_TRUE(test::WriteBytes(path, bytes));
    return FileMd5(path, kCalgMd5);
  }
  test::ScratchFolders scratch_;
};

TEST_F(FileMd5Test, KnownDigestsInUpperCase) {
  test::VirtualPlatform platform;
  EXPECT_EQ(Md5Of(""), "D41D8CD98F00B204E9800998ECF8427E");
  EXPECT_EQ(platform.pumps, 16);  // the window is serviced once per digest byte
  EXPECT_EQ(Md5Of("abc"), "900150983CD24FB0D6963F7D28E17F72");
  EXPECT_EQ(Md5Of("message digest", "\u5347\u7EA7\u5305.exe"), "F96B697D7CB7938D525A2F31AAF161D0");
}

TEST_F(FileMd5Test, WholeBlocksAndTheRestAreEachHashedOnce) {
  EXPECT_EQ(Md5Of(Pattern(32768)), "CB9B8ADE1DBA380414C52B04754A8ABE");  // one block, no rest
  EXPECT_EQ(Md5Of(Pattern(32769)), "8D1A18DB0AFA842CD9ABBB27730929FD");  // one block and 1 byte
  EXPECT_EQ(Md5Of(Pattern(3 * 32768 + 5)), "82B2B58019C0D843C43597890284CD47");
}

TEST_F(FileMd5Test, NoDigestForAMissingFileAFolderOrAFileHeldWithoutSharing) {
  EXPECT_EQ(FileMd5(scratch_.root + "\\missing.bin", kCalgMd5), "");
  EXPECT_EQ(FileMd5(scratch_.root, kCalgMd5), "");
  const std::string held = scratch_.root + "\\held.bin";
  ASSERT_TRUE(test::WriteBytes(held, "abc"));
  {
    UniqueFile holder(CreateFileW(Widen(held).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder);
    EXPECT_EQ(FileMd5(held, kCalgMd5), "");
  }
  EXPECT_EQ(FileMd5(held, kCalgMd5), "900150983CD24FB0D6963F7D28E17F72");
  EXPECT_EQ(FileMd5(held, 0x1234), "");  // no hash object for an unknown algorithm
}

}  // namespace
}  // namespace zel
