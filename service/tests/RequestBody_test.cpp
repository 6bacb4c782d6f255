#include "RequestBody.h"

#include "TestSupport.h"

namespace zel::svc::test {
namespace {

const std::string kQuery = "AppVer=312E302E31&ExecutionLevel=31&UUID=&OSMajorVer=3130";

TEST(WireCodec, TakesHexOfEitherCaseAndOneCompleteBoundedZlibStream) {
  EXPECT_EQ(HexToBytes("7b7D"), "{}");
  EXPECT_EQ(HexToBytes("7B 7D"), std::nullopt);
  EXPECT_EQ(HexDecodeText("410042"), "A");  // text ends at the first zero byte

  const auto stream = HexToBytes("789C4B4CA42E0000CC341E51");  // the program's body for 80 times 'a'
  ASSERT_TRUE(stream);
  InflateResult r = InflateZlib(*stream, 1000);
  EXPECT_EQ(r.status, InflateStatus::kOk);
  EXPECT_EQ(r.bytes, std::string(80, 'a'));

  EXPECT_EQ(InflateZlib(*stream + "\x01", 1000).status, InflateStatus::kTrailingBytes);
  for (const std::string& bad : {stream->substr(0, stream->size() - 1), stream->substr(2), std::string()}) {
    EXPECT_EQ(InflateZlib(bad, 1000).status, InflateStatus::kCorrupt);
  }
  // A few kilobytes must not expand past the bound.
  r = InflateZlib(Compress(std::string(4 << 20, '\0')), 1 << 20);
  EXPECT_EQ(r.status, InflateStatus::kTooLarge);
  EXPECT_TRUE(r.bytes.empty());
}

// Only the protocol's fields are kept, others are counted (whatever their bytes); a
// value at the limit is kept whole.
TEST(RequestBody, DecodesPlainAndCompressedQueriesKeepingOnlyTheProgramsFields) {
  std::string wide;  // U+1F600, four bytes of UTF-8 each
  for (std::size_t i = 0; i < kMaxValueBytes / 4; ++i) wide += "F09F9880";
  const std::string query = "AppVer=312E302E31&X0=FF&ExecutionLevel=31&UUID=&X1=41&OSMajorVer=" + wide;
  const std::vector<std::pair<std::string, std::string>> kept = {
      {"AppVer", "1.0.1"}, {"ExecutionLevel", "1"}, {"UUID", ""}, {"OSMajorVer", *HexToBytes(wide)}};
  for (bool zip : {false, true}) {
    DecodeResult r = DecodeUpdateBody(MakeBody(query, zip));
    ASSERT_TRUE(r.query) << r.error;
    EXPECT_EQ(r.query->compressed, zip);
    EXPECT_EQ(r.query->text, query);
    EXPECT_EQ(r.query->fields, kept);
    EXPECT_EQ(r.query->unknownFields, 2u);
    EXPECT_FALSE(r.query->HasFullProfile());
  }
}

// Bodies the program never sends are refused, and so are bodies made to be expensive,
// within microseconds whatever their shape.
TEST(RequestBody, RefusesBodiesAndQueriesTheProgramNeverSendsInLinearTime) {
  const std::string hex = BytesToHex(kQuery);
  const std::string n = std::to_string(hex.size());
  const std::string zipped = BytesToHex(Compress(kQuery));
  std::vector<std::string> bodies = {
      "",
      "size=" + n + "&checksum=0&zip=0",                                           // a field missing
      "size=" + n + "&checksum=0&zip=0&data=" + hex + "&x=1",                      // a field too many
      "checksum=0&size=" + n + "&zip=0&data=" + hex,                               // fields out of order
      "size=" + std::to_string(hex.size() + 2) + "&checksum=0&zip=0&data=" + hex,  // size wrong
      "size=0" + n + "&checksum=0&zip=0&data=" + hex,
      "size=" + n + "&checksum=1&zip=0&data=" + hex,
      "size=" + n + "&checksum=0&zip=2&data=" + hex,
      "size=3&checksum=0&zip=0&data=616",             // odd length
      "size=0&checksum=0&zip=0&data=",                // nothing
      "size=" + n + "&checksum=0&zip=1&data=" + hex,  // zip=1 but not compressed
      "size=" + std::to_string(zipped.size() + 2) + "&checksum=0&zip=1&data=" + zipped +
          "00",  // bytes after the stream
      "size=99999999999&checksum=0&zip=0&data=" + hex,
  };
  const std::string base = "AppVer=322E30&ExecutionLevel=30";
  std::string manyFields = base, repeatedLast = base;
  for (int i = 0; i < 5000; ++i) manyFields += "&F" + std::to_string(i) + "=41";
  for (int i = 0; i < 40; ++i) repeatedLast += "&F" + std::to_string(i) + "=41";
  repeatedLast += "&F0=41";
  for (const std::string& query :
       {std::string("ExecutionLevel=30"), base.substr(0, 13), base + "&AppVer=322E30", base + "&UUID", base + "&CPU=xyz",
        // Kept values that are no UTF-8 text: a stray byte, a cut sequence, an overlong
        // form, a surrogate, a code point past U+10FFFF.
        base + "&UUID=FF", base + "&CPU=41E4B8", base + "&OSName=C0AF", base + "&OSVer=EDA080",
        base + "&Arch=F4908080",
        base + "&", manyFields, repeatedLast, base + "&OfficeAddins=" + std::string(2 * kMaxValueBytes + 2, 'A'),
        base + std::string(60000, '&')}) {
    for (const bool zip : {false, true}) bodies.push_back(MakeBody(query, zip));
  }
  for (const std::string& body : bodies) {
    const auto start = std::chrono::steady_clock::now();
    const DecodeResult r = DecodeUpdateBody(body);
    EXPECT_FALSE(r.query) << body.substr(0, 80);
    EXPECT_FALSE(r.error.empty()) << body.substr(0, 80);
    if (body.size() <= kMaxBodyBytes) {
      EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(20));
    }
  }
  EXPECT_NE(DecodeUpdateBody(MakeBody(repeatedLast, true)).error.find("repeated: F0"), std::string::npos);
}

}  // namespace
}  // namespace zel::svc::test
