#include "system/PathLib.h"

#include <gtest/gtest.h>

#include "system/Folders.h"
#include "system/Text.h"

namespace zel {

TEST(PathLib, SplitPathKeepsEverythingBeforeTheLastBackslashAsTheFolder) {
  const std::pair<const char*, PathParts> cases[] = {
      {"C:\\dir\\file.txt", {"C:\\dir", "file.txt"}},
      {"C:\\dir\\\\f", {"C:\\dir\\", "f"}},  // a doubled backslash before the name stays
      {"file.txt", {"", "file.txt"}},
      {"C:/dir/f.txt", {"", "C:/dir/f.txt"}},  // a slash is no separator
      {"\\", {"", ""}},
  };
  for (const auto& [path, parts] : cases) EXPECT_EQ(ClsPathLib().SplitPath(path), parts) << path;
}

// The environment's folders are joined by the same rule as paths.
TEST(PathLib, JoinAddsOneBackslashUnlessThereIsOne) {
  for (const auto join : {+[](std::string_view a, std::string_view b) { return ClsPathLib().JoinPath(a, b); },
                          +[](std::string_view a, std::string_view b) { return JoinEnvFolder(a, b); }}) {
    EXPECT_EQ(join("C:\\dir", "a.txt"), "C:\\dir\\a.txt");
    EXPECT_EQ(join("C:\\dir\\", "a.txt"), "C:\\dir\\a.txt");
    EXPECT_EQ(join("", "a.txt"), "\\a.txt");
    EXPECT_EQ(join("C:\\dir/", "a.txt"), "C:\\dir/\\a.txt");  // a slash is no separator
  }
}

// Reads each ANSI byte as the character of that number (an ANSI code page that is
// Latin-1), so the byte logic can be followed here; the Windows tests use code page 936.
std::string Latin1ToUtf8(std::string_view ansi) {
  std::u16string units;
  for (const char c : ansi) units += static_cast<char16_t>(static_cast<unsigned char>(c));
  return Utf16ToUtf8(units);
}

TEST(PathLib, UnicodeTestLooksAtTheBytesOfTheRereadText) {
  // The bytes of \u4E2D are 2D 4E, both printable; those of \u6587 are 87 65; a tab and DEL
  // are control characters.
  for (const char* path : {"C:\\Program Files\\x", "", "C:\\\u4E2D"})
    EXPECT_FALSE(HasBytesOutsidePrintableAscii(path, Latin1ToUtf8)) << path;
  for (const char* path : {"C:\\\u00E9", "C:\\\u6587", "a\tb", "a~\x7F"})
    EXPECT_TRUE(HasBytesOutsidePrintableAscii(path, Latin1ToUtf8)) << path;
}

}  // namespace zel
