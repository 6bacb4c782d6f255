#include <gtest/gtest.h>

#include "system/Text.h"

namespace zel {
namespace {

TEST(Utf8Decoding, InvalidSequencesBecomeOneReplacementEach) {
  // A lone continuation byte, a truncated 3-byte sequence, an overlong '/', a surrogate.
  EXPECT_EQ(Utf8ToUtf16("a\x80" "b"), u"a\uFFFDb");
  EXPECT_EQ(Utf8ToUtf16("\xE4\xB8"), u"\uFFFD");
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");
}

TEST(Utf8Decoding, RoundTripsAllPlanes) {
  const std::string text = "A\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80";  // A é 中 😀
  const std::u16string wide = Utf8ToUtf16(text);
  EXPECT_EQ(wide.size(), 5u);
  EXPECT_EQ(Utf16ToUtf8(wide), text);
  EXPECT_EQ(Utf16Length(text), 5u);
}

TEST(Utf16Encoding, UnpairedSurrogateBecomesReplacement) {
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800)) + u"x"), "\xEF\xBF\xBDx");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xDC00))), "\xEF\xBF\xBD");
}

TEST(TextHelpers, TrimLowerStrip) {
  EXPECT_EQ(TrimSpaces("  a b  "), "a b");
  EXPECT_EQ(TrimSpaces("   "), "");
  EXPECT_EQ(AsciiLower("/UI C:\\P\\\xE4\xB8\xAD"), "/ui c:\\p\\\xE4\xB8\xAD");
  EXPECT_EQ(StripNuls(std::string("a\0b\0", 4)), "ab");
}

}  // namespace
}  // namespace zel
