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

// Whole blocks and the rest are each hashed once; the window is serviced once per
// digest byte. MD5 reads blocks of 32 KiB; both digests at once read a ring of 16
// blocks of 64 KiB, used again here, whose last block is short.
TEST(FileMd5Test, KnownDigestsInUpperCaseAndNoneForWhatCannotBeRead) {
  test::ScratchFolders scratch;
  const std::tuple<std::string, std::string, std::string> rows[] = {
      // bytes, MD5, SHA-256
      {"", "D41D8CD98F00B204E9800998ECF8427E",
       "E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855"},
      {Pattern(32768), "CB9B8ADE1DBA380414C52B04754A8ABE", ""},
      {Pattern(32769), "8D1A18DB0AFA842CD9ABBB27730929FD", ""},
      {Pattern(3 * 32768 + 5), "82B2B58019C0D843C43597890284CD47", ""},
      {Pattern(17 * 65536 + 5), "41C643CBE01D8D683605EE12D3F69049",
       "5BA3569D3D44303DF943D7EF7E619D03A02DF82C572F3437829AF8EE69972AAD"},
  };
  const std::string path = scratch.root + "\\\u5347\u7EA7\u5305.exe";
  for (const auto& [bytes, md5, sha256] : rows) {
    SCOPED_TRACE(bytes.size());
    ASSERT_TRUE(test::WriteBytes(path, bytes));
    test::VirtualPlatform platform;
    EXPECT_EQ(FileMd5(path, kCalgMd5), md5);
    EXPECT_EQ(platform.pumps, 16);
    if (sha256.empty()) continue;
    const FileDigests both = FileMd5AndSha256(path);
    EXPECT_EQ(both.md5 + " " + both.sha256, md5 + " " + sha256);
  }

  // No digest for a missing file, a folder or a file held without sharing.
  EXPECT_EQ(FileMd5(scratch.root + "\\missing.bin", kCalgMd5) + FileMd5(scratch.root, kCalgMd5), "");
  const std::string held = scratch.root + "\\held.bin";
  ASSERT_TRUE(test::WriteBytes(held, "abc"));
  UniqueFile holder(CreateFileW(Widen(held).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(holder);
  EXPECT_EQ(FileMd5(held, kCalgMd5), "");
  holder.Reset();
  EXPECT_EQ(FileMd5(held, kCalgMd5), "900150983CD24FB0D6963F7D28E17F72");
  // No hash object for an unknown algorithm; neither digest of a missing file.
  const FileDigests missing = FileMd5AndSha256(scratch.root + "\\missing.bin");
  EXPECT_EQ(FileMd5(held, 0x1234) + missing.md5 + missing.sha256, "");
}

}  // namespace
}  // namespace zel
