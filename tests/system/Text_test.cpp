#include "system/Text.h"

#include <gtest/gtest.h>

namespace zel {

TEST(Utf8Decoding, MalformedBytesBecomeReplacementsAndAllPlanesRoundTrip) {
  // A lone continuation byte, a truncated 3-byte sequence, an overlong '/', an encoded surrogate.
  const std::pair<std::string, std::u16string> cases[] = {{"a\x80z", u"a\uFFFDz"},
                                                          {"\xE4\xB8", u"\uFFFD"},
                                                          {"\xC0\xAF", u"\uFFFD\uFFFD"},
                                                          {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"}};
  for (const auto& [utf8, utf16] : cases) EXPECT_EQ(Utf8ToUtf16(utf8), utf16) << testing::PrintToString(utf8);
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800)) + u"x"), "\xEF\xBF\xBDx");  // unpaired surrogate
  // Every plane round-trips (the request body shows how the length counts units).
  const std::string text = "A\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80";  // A é 中 😀
  EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(text)), text);
}

}  // namespace zel
