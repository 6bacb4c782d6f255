#include "protocol/modZlib.h"

#include <gtest/gtest.h>

#include "system/ScopeExit.h"

namespace zel {
namespace {

std::string Repeat(std::string_view piece, int times) {
  std::string text;
  while (times-- > 0) text += piece;
  return text;
}

TEST(RequestBody, WorkedExamples) {
  EXPECT_EQ(EncodeRequestBody("abc"), "size=6&checksum=0&zip=0&data=616263");
  EXPECT_EQ(EncodeRequestBody("\xE4\xB8\xAD"), "size=6&checksum=0&zip=0&data=E4B8AD");
  EXPECT_EQ(EncodeRequestBody(std::string(80, 'a')), "size=24&checksum=0&zip=1&data=789C4B4CA42E0000CC341E51");
}

TEST(RequestBody, CompressedFrom80Utf16UnitsOnNotBytes) {
  EXPECT_EQ(EncodeRequestBody("\xE4\xB8\xAD\xE6\x96\x87"), "size=12&checksum=0&zip=0&data=E4B8ADE69687");
  EXPECT_EQ(EncodeRequestBody(std::string(79, 'x')), "size=158&checksum=0&zip=0&data=" + Repeat("78", 79));
  const struct {
    std::string query;
    const char* head;
  } cases[] = {
      {std::string(80, 'x'), "&checksum=0&zip=1&data=789C"},
      {Repeat("\xE4\xB8\xAD", 40), "size=240&checksum=0&zip=0&data=E4B8AD"},  // 40 units, 120 bytes
      {Repeat("\xF0\x9F\x98\x80", 40), "&zip=1&data=789C"},                    // 80 units
  };
  for (const auto& c : cases) EXPECT_NE(EncodeRequestBody(c.query).find(c.head), std::string::npos) << c.query;
}

TEST(RequestBody, MissingOrFailingLibrarySendsThePlainForm) {
  const std::string query(100, 'z');
  const std::string expected = "size=200&checksum=0&zip=0&data=" + Repeat("7A", 100);
  const auto restore = SetCompress2Source([]() -> Compress2Fn { return nullptr; });
  ScopeExit undo([&] { SetCompress2Source(restore); });
  EXPECT_EQ(CompressText(query), "");
  EXPECT_EQ(EncodeRequestBody(query), expected);

  SetCompress2Source([]() -> Compress2Fn {  // out of memory: compress2 leaves a length of 0
    return [](unsigned char*, unsigned long* length, const unsigned char*, unsigned long, int) {
      *length = 0;
      return -4;
    };
  });
  EXPECT_EQ(EncodeRequestBody(query), expected);
}

TEST(ZlibCompression, BufferCapacityRoundsHalfToEven) {
  Bytes destination{1, 2, 3};
  EXPECT_GT(ZlibCompress(destination, Bytes(50, 0), 6), 0);
  EXPECT_EQ(destination.size(), 62u);  // 50 * 1.01 + 12 = 62.5
}

}  // namespace
}  // namespace zel
