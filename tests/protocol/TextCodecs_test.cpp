#include "protocol/TextCodecs.h"

#include <gtest/gtest.h>

namespace zel {
namespace {

TEST(HexEncoding, UpperCaseUtf8BytesUpToNulAndInvalidAsReplacement) {
  EXPECT_EQ(HexEncodeText("a{}"), "617B7D");
  EXPECT_EQ(HexEncodeText("\xE4\xB8\xAD\xF0\x9F\x98\x80"), "E4B8ADF09F9880");
  EXPECT_EQ(HexEncodeText(std::string("ab\0cd", 5)), "6162");
  EXPECT_EQ(HexEncodeText("a\xFF"), "61EFBFBD");
}

TEST(HexDecoding, GivesUtf8TextOrTheEmptyTextForAnythingButHex) {
  const struct {
    const char* hex;
    const char* text;
  } cases[] = {
      {"7b7d", "{}"},   {"7B7d", "{}"}, {"410042", "A"}, {"00", ""},
      {"E4B8ADE69687", "\xE4\xB8\xAD\xE6\x96\x87"}, {"61FF62", "a\xEF\xBF\xBD" "b"},
      {"", ""},   {"7B7", ""}, {"7G7D", ""}, {"0x41", ""}, {" 41", ""}, {"41\n", ""}, {"+1", ""},
      {"\xEF\xBC\x94\x31", ""},  // a full-width digit
  };
  for (const auto& c : cases) EXPECT_EQ(HexDecodeText(c.hex), c.text) << c.hex;
  EXPECT_EQ(HexDecodeText(std::string("4\0", 2)), "");
}

TEST(HexCodecs, RoundTripEveryByteAndMixedText) {
  Bytes all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<std::uint8_t>(b));
  EXPECT_EQ(HexToBytes(BytesToHex(all)), all);
  const std::string text = "http://\xE4\xB8\xAD\xE6\x96\x87.example/p?a=1&b=\xF0\x9F\x98\x80";
  EXPECT_EQ(HexDecodeText(HexEncodeText(text)), text);
}

}  // namespace
}  // namespace zel
