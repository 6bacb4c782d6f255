#include <gtest/gtest.h>

#include "system/PathLib.h"
#include "support/ScratchFolders_win.h"
#include "system/UniqueHandle_win.h"

namespace zel {
namespace {

class PathLibFiles : public ::testing::Test {
 protected:
  std::string Make(const std::string& name, const std::string& bytes = "x") {
    const std::string path = lib_.JoinPath(scratch_.root, name);
    EXPECT_TRUE(test::WriteBytes(path, bytes));
    return path;
  }
  std::string MakeDir(const std::string& name) {
    const std::string path = lib_.JoinPath(scratch_.root, name);
    std::filesystem::create_directories(test::PathOf(path));
    return path;
  }
  test::ScratchFolders scratch_;
  ClsPathLib lib_;
};

TEST_F(PathLibFiles, HiddenFilesCountButFoldersAndSystemFilesDoNotSizesAndDeletion) {
  const std::string hidden = Make("hidden.txt"), system = Make("system.txt"), dir = MakeDir("\u76EE\u5F55");
  SetFileAttributesW(Widen(hidden).c_str(), FILE_ATTRIBUTE_HIDDEN);
  SetFileAttributesW(Widen(system).c_str(), FILE_ATTRIBUTE_SYSTEM);
  std::string seen;  // IsFile and IsDir of each
  for (const std::string& path :
       {hidden, Make("\u4E2D\u6587.txt"), system, dir, dir + "\\", scratch_.root + "\\x.txt"})
    seen += std::to_string(lib_.IsFile(path)) + std::to_string(lib_.IsDir(path)) + " ";
  EXPECT_EQ(seen, "10 10 00 01 01 00 ");
  EXPECT_TRUE(!lib_.DelFile(dir) && lib_.DelFile(hidden) && !test::PathExists(hidden));

  const std::string five = Make("five.bin", "12345");
  EXPECT_EQ(std::tuple(lib_.MyGetFileSize(scratch_.root + "\\missing.bin"),
                       lib_.MyGetFileSize(Make("empty.bin", "")), lib_.MyGetFileSize(five)),
            std::tuple(-1, 0, 5));
  // Also while another program holds it without sharing.
  const UniqueFile held(CreateFileA(five.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held);
  EXPECT_EQ(lib_.MyGetFileSize(five), 5);

  const std::string file = Make("file.txt");
  EXPECT_TRUE(!lib_.DeleteFolder(file) && test::PathExists(file));
  for (const std::string suffix : {"", "\\"}) {
    const std::string full = MakeDir("full");
    ASSERT_TRUE(test::WriteBytes(full + "\\inner.txt", "x"));
    MakeDir("full\\deeper");
    EXPECT_TRUE(lib_.DeleteFolder(full + suffix) && !test::PathExists(full)) << suffix;
  }
}

TEST_F(PathLibFiles, CopyAndRenameReplaceOnlyWhenAskedTo) {
  const std::string a = Make("a.txt", "A"), b = Make("b.txt", "B"),
                    c = lib_.JoinPath(MakeDir("sub"), "c.txt");
  EXPECT_TRUE(!lib_.MyCopyFile(a, b, false) && test::ReadBytes(b) == "B");
  EXPECT_TRUE(lib_.MyCopyFile(a, b, true) && test::ReadBytes(b) == "A");

  ASSERT_TRUE(test::WriteBytes(b, "B"));
  EXPECT_TRUE(!lib_.RenameFile(a, b) && test::ReadBytes(a) + test::ReadBytes(b) == "AB");
  // The same folder: the shell's rename; another folder: a move.
  EXPECT_TRUE(lib_.RenameFile(a, b, true) && test::ReadBytes(a) + test::ReadBytes(b) == "A");
  EXPECT_TRUE(lib_.RenameFile(b, c) && test::ReadBytes(b) + test::ReadBytes(c) == "A");
}

TEST(PathLibUnicode, ReadsTheUtf16BytesInCodePage936) {
  ASSERT_EQ(GetACP(), 936u);
  const ClsPathLib lib;
  // The bytes of \u4E2D are 2D 4E, "-N".
  EXPECT_TRUE(!lib.PathHasUnicode("C:\\Program Files\\x") && !lib.PathHasUnicode("C:\\\u4E2D") &&
              lib.PathHasUnicode("C:\\\u6587\u4EF6"));
}

}  // namespace
}  // namespace zel
