#include "protocol/RequestBody.h"

#include <gtest/gtest.h>

#include "support/VirtualPlatform.h"

namespace zel {
namespace {

std::string Repeat(std::string_view piece, int times) {
  std::string text;
  while (times-- > 0) text += piece;
  return text;
}

TEST(RequestBody, CompressedFrom80Utf16UnitsOnWhenTheLibraryWorks) {
  EXPECT_EQ(EncodeRequestBody("\u4E2D\u6587"), "size=12&checksum=0&zip=0&data=E4B8ADE69687");
  EXPECT_EQ(EncodeRequestBody(std::string(79, 'x')), "size=158&checksum=0&zip=0&data=" + Repeat("78", 79));
  EXPECT_EQ(EncodeRequestBody(std::string(80, 'a')),
            "size=24&checksum=0&zip=1&data=789C4B4CA42E0000CC341E51");
  // 40 characters of 3 bytes are 40 units; 40 outside the BMP are 80.
  EXPECT_TRUE(EncodeRequestBody(Repeat("\u4E2D", 40)).starts_with("size=240&checksum=0&zip=0&"));
  EXPECT_NE(EncodeRequestBody(Repeat("\U0001F600", 40)).find("&zip=1&"), std::string::npos);
  // A missing or failing library sends the plain form.
  const std::string expected = "size=200&checksum=0&zip=0&data=" + Repeat("7A", 100);
  test::VirtualPlatform platform;
  platform.compress2 = nullptr;
  EXPECT_EQ(EncodeRequestBody(std::string(100, 'z')), expected);

  // Out of memory: compress2 leaves a length of 0.
  platform.compress2 = [](unsigned char*, unsigned long* length, const unsigned char*, unsigned long, int) {
    *length = 0;
    return -4;
  };
  EXPECT_EQ(EncodeRequestBody(std::string(100, 'z')), expected);
}

}  // namespace
}  // namespace zel
