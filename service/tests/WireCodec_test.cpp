#include "WireCodec.h"

#include <gtest/gtest.h>
#include <zlib.h>

namespace zel::svc {
namespace {

std::string Compress(const std::string& bytes) {
  uLongf length = compressBound(bytes.size());
  std::string out(length, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &length, reinterpret_cast<const Bytef*>(bytes.data()),
            bytes.size(), 6);
  out.resize(length);
  return out;
}

TEST(WireCodec, HexArmourBothWays) {
  EXPECT_EQ(BytesToHex(std::string("\x00\x0F\xFF", 3)), "000FFF");
  EXPECT_EQ(HexEncodeText("中"), "E4B8AD");
  EXPECT_EQ(HexEncodeText(""), "");
  EXPECT_EQ(HexToBytes("7b7D"), "{}");
  EXPECT_EQ(HexToBytes(""), "");
  EXPECT_EQ(HexToBytes("7B7"), std::nullopt);
  EXPECT_EQ(HexToBytes("7G7D"), std::nullopt);
  EXPECT_EQ(HexToBytes("7B 7D"), std::nullopt);
  // Text decoding stops at the first zero byte.
  EXPECT_EQ(HexDecodeText("410042"), "A");
  EXPECT_EQ(HexDecodeText("E4B8AD"), "中");
  EXPECT_EQ(HexDecodeText("zz"), std::nullopt);
}

TEST(WireCodec, InflatesOneCompleteStreamOnly) {
  // The program's body for 80 times the letter a.
  const auto stream = HexToBytes("789C4B4CA42E0000CC341E51");
  ASSERT_TRUE(stream);
  InflateResult r = InflateZlib(*stream, 1000);
  EXPECT_EQ(r.status, InflateStatus::kOk);
  EXPECT_EQ(r.bytes, std::string(80, 'a'));

  const std::string large(200000, 'x');
  r = InflateZlib(Compress(large), 1 << 20);
  EXPECT_EQ(r.status, InflateStatus::kOk);
  EXPECT_EQ(r.bytes, large);

  EXPECT_EQ(InflateZlib(*stream + "\x01", 1000).status, InflateStatus::kTrailingBytes);
  EXPECT_EQ(InflateZlib(stream->substr(0, stream->size() - 1), 1000).status, InflateStatus::kCorrupt);
  EXPECT_EQ(InflateZlib(stream->substr(2), 1000).status, InflateStatus::kCorrupt);  // raw deflate, no header
  EXPECT_EQ(InflateZlib("", 1000).status, InflateStatus::kCorrupt);
  EXPECT_EQ(InflateZlib("plain text", 1000).status, InflateStatus::kCorrupt);

  // A few kilobytes must not expand past the bound.
  const std::string bomb = Compress(std::string(4 << 20, '\0'));
  ASSERT_LT(bomb.size(), 10000u);
  r = InflateZlib(bomb, 1 << 20);
  EXPECT_EQ(r.status, InflateStatus::kTooLarge);
  EXPECT_TRUE(r.bytes.empty());
}

}  // namespace
}  // namespace zel::svc
