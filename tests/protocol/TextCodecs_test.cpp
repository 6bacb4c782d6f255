#include "protocol/TextCodecs.h"

#include <gtest/gtest.h>

namespace zel {

TEST(HexText, DecodingStopsAtAZeroByteAndRefusesAllButHexAndEncodingReplacesInvalidBytes) {
  const std::pair<const char*, const char*> cases[] = {
      {"7b7d", "{}"},        {"7B7d", "{}"}, {"410042", "A"}, {"00", ""}, {"E4B8ADE69687", "\u4E2D\u6587"},
      {"61FF62", "a\uFFFDb"}};
  for (const auto& [hex, text] : cases) EXPECT_EQ(HexDecodeText(hex), text) << hex;
  // The empty text for anything but even-length hex digits.
  for (const char* bad : {"", "7B7", "7G7D", "0x41", " 41", "41\n", "+1", "\uFF14\x31"})
    EXPECT_EQ(HexDecodeText(bad), "") << bad;
  EXPECT_EQ(HexDecodeText(std::string("4\0", 2)), "");

  // Upper-case hex of the text's UTF-8 (the request body and the machine profile show
  // the rest): an invalid byte as U+FFFD, nothing from a zero byte on.
  EXPECT_EQ(HexEncodeText(std::string("a\xFF\0b", 4)), "61EFBFBD");
}

}  // namespace zel
