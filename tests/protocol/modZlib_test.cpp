#include "protocol/modZlib.h"

#include <gtest/gtest.h>

#include <string>

#include "system/ScopeExit.h"

namespace zel {
namespace {

std::string Field(const std::string& body, const std::string& name) {
  const std::size_t start = body.find(name + "=");
  if (start == std::string::npos) return "<missing>";
  const std::size_t value = start + name.size() + 1;
  return body.substr(value, body.find('&', value) - value);
}

TEST(RequestBody, WorkedExamples) {
  EXPECT_EQ(EncodeRequestBody("abc"), "size=6&checksum=0&zip=0&data=616263");
  EXPECT_EQ(EncodeRequestBody("\xE4\xB8\xAD"), "size=6&checksum=0&zip=0&data=E4B8AD");
  EXPECT_EQ(EncodeRequestBody(std::string(80, 'a')),
            "size=24&checksum=0&zip=1&data=789C4B4CA42E0000CC341E51");
}

TEST(RequestBody, ThresholdCountsUtf16UnitsNotBytes) {
  const std::string b79 = EncodeRequestBody(std::string(79, 'x'));
  EXPECT_EQ(Field(b79, "zip"), "0");
  EXPECT_EQ(Field(b79, "size"), "158");
  EXPECT_EQ(Field(EncodeRequestBody(std::string(80, 'x')), "zip"), "1");

  // Two characters, six UTF-8 bytes: plain, size counts hex digits.
  EXPECT_EQ(EncodeRequestBody("\xE4\xB8\xAD\xE6\x96\x87"), "size=12&checksum=0&zip=0&data=E4B8ADE69687");

  // 40 characters = 120 bytes stay plain; 40 characters outside the BMP are 80 units.
  std::string han, emoji;
  for (int i = 0; i < 40; ++i) han += "\xE4\xB8\xAD";
  for (int i = 0; i < 40; ++i) emoji += "\xF0\x9F\x98\x80";
  EXPECT_EQ(Field(EncodeRequestBody(han), "zip"), "0");
  EXPECT_EQ(Field(EncodeRequestBody(emoji), "zip"), "1");
}

TEST(RequestBody, CompressedEvenWhenLongerAndSizeMatchesData) {
  std::string noisy;  // incompressible enough that the stream outgrows the plain form
  for (unsigned i = 0, x = 12345; i < 80; ++i) {
    x = x * 1103515245u + 12345u;
    noisy += static_cast<char>(0x21 + (x >> 16) % 90);
  }
  const std::string body = EncodeRequestBody(noisy);
  EXPECT_EQ(Field(body, "zip"), "1");
  EXPECT_EQ(Field(body, "checksum"), "0");
  const std::string data = Field(body, "data");
  EXPECT_GT(data.size(), 160u);
  EXPECT_EQ(Field(body, "size"), std::to_string(data.size()));
  EXPECT_EQ(data.substr(0, 4), "789C");
}

TEST(ZlibCompression, CapacityRuleAndReportedLength) {
  Bytes destination{1, 2, 3};
  const Bytes source(1000, 'q');
  const std::int32_t n = ZlibCompress(destination, source, 6);
  EXPECT_EQ(destination.size(), 1022u);  // 1000 * 1.01 + 12
  ASSERT_GT(n, 0);
  EXPECT_EQ(destination[0], 0x78);
  EXPECT_EQ(destination[1], 0x9C);
  EXPECT_EQ(destination[n], 0);  // the rest of the buffer stays zero-filled

  ZlibCompress(destination, Bytes(50, 0), 6);  // 62.5 rounds to the even 62
  EXPECT_EQ(destination.size(), 62u);
  ZlibCompress(destination, {}, 6);
  EXPECT_EQ(destination.size(), 12u);
}

TEST(ZlibCompression, MissingOrFailingLibraryFallsBackToPlainForm) {
  const std::string query(100, 'z');
  const auto restore = SetCompress2Source(nullptr);
  ScopeExit undo([&] { SetCompress2Source(restore); });

  SetCompress2Source([]() -> Compress2Fn { return nullptr; });
  EXPECT_EQ(CompressText(query), "");
  std::string expected = "size=200&checksum=0&zip=0&data=";
  for (int i = 0; i < 100; ++i) expected += "7A";
  EXPECT_EQ(EncodeRequestBody(query), expected);

  // Out of memory: compress2 leaves a length of 0.
  SetCompress2Source([]() -> Compress2Fn {
    return [](unsigned char*, unsigned long* length, const unsigned char*, unsigned long, int) {
      *length = 0;
      return -4;
    };
  });
  EXPECT_EQ(EncodeRequestBody(query), expected);
}

}  // namespace
}  // namespace zel
