#include "protocol/TextCodecs.h"

#include <gtest/gtest.h>

namespace zel {
namespace {

TEST(HexEncoding, UpperCaseTwoDigitsPerUtf8Byte) {
  EXPECT_EQ(BytesToHex({0, 15, 255}), "000FFF");
  EXPECT_EQ(HexEncodeText(""), "");
  EXPECT_EQ(HexEncodeText("a"), "61");
  EXPECT_EQ(HexEncodeText("{}"), "7B7D");
  EXPECT_EQ(HexEncodeText("\xE4\xB8\xAD"), "E4B8AD");        // U+4E2D
  EXPECT_EQ(HexEncodeText("\xF0\x9F\x98\x80"), "F09F9880");  // outside the BMP
}

TEST(HexEncoding, TextEndsAtNulAndInvalidUtf8BecomesReplacement) {
  EXPECT_EQ(HexEncodeText(std::string("ab\0cd", 5)), "6162");
  EXPECT_EQ(HexEncodeText("a\xFF"), "61EFBFBD");
  EXPECT_TRUE(TextToUtf8(std::string(1, '\0')).empty());
}

TEST(HexDecoding, AcceptsEitherCaseAndStopsAtZeroByte) {
  EXPECT_EQ(HexDecodeText("7b7d"), "{}");
  EXPECT_EQ(HexDecodeText("7B7d"), "{}");
  EXPECT_EQ(HexDecodeText("410042"), "A");
  EXPECT_EQ(HexDecodeText("00"), "");
  EXPECT_EQ(HexDecodeText("E4B8ADE69687"), "\xE4\xB8\xAD\xE6\x96\x87");
  EXPECT_EQ(HexDecodeText("61FF62"),
            "a\xEF\xBF\xBD"
            "b");  // invalid UTF-8 as U+FFFD
  EXPECT_EQ(HexToBytes("00ff7F"), (Bytes{0, 255, 127}));
  EXPECT_TRUE(HexToBytes("").empty());
}

TEST(HexDecoding, RejectsAnythingButEvenLengthHexDigits) {
  for (const char* bad : {"", "7B7", "7G7D", "0x41", " 41", "41 ", "4-", "+1", "41\n", "\xEF\xBC\x94\x31"}) {
    EXPECT_FALSE(IsHexText(bad)) << bad;
    EXPECT_EQ(HexDecodeText(bad), "") << bad;
  }
  EXPECT_FALSE(IsHexText(std::string("4\0", 2)));
  EXPECT_TRUE(IsHexText("1234567890abcdefABCDEF"));
}

TEST(HexCodecs, RoundTripEveryByteAndMixedText) {
  Bytes all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<std::uint8_t>(b));
  EXPECT_EQ(HexToBytes(BytesToHex(all)), all);

  const std::string text = "http://\xE4\xB8\xAD\xE6\x96\x87.example/p?a=1&b=\xF0\x9F\x98\x80";
  EXPECT_EQ(HexDecodeText(HexEncodeText(text)), text);
  EXPECT_EQ(Utf8ToText(TextToUtf8(text)), text);
}

}  // namespace
}  // namespace zel
