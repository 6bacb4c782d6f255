// Update bodies as they arrive, the queries they carry and the answers to them.
#include "RequestBody.h"

#include "Answer.h"
#include "TestSupport.h"

namespace zel::svc::test {
namespace {

// Hex of either case and one complete, bounded zlib stream are taken apart; of the
// query, only the protocol's fields are kept, others are counted (whatever their
// bytes), and a value at the limit is kept whole. Bodies the program never sends are
// refused, and so are bodies made to be expensive, within microseconds whatever their
// shape.
TEST(RequestBody, DecodesTheProgramsBodiesKeepingItsFieldsAndRefusesOthersInLinearTime) {
  EXPECT_EQ(HexToBytes("7b7D"), "{}");
  EXPECT_EQ(HexToBytes("7B 7D"), std::nullopt);
  EXPECT_EQ(HexDecodeText("410042"), "A");  // text ends at the first zero byte

  // The program's body for 80 times 'a'.
  const std::string stream = HexToBytes("789C4B4CA42E0000CC341E51").value();
  InflateResult r = InflateZlib(stream, 1000);
  EXPECT_EQ(std::tie(r.status, r.bytes), std::tuple(InflateStatus::kOk, std::string(80, 'a')));
  EXPECT_EQ(InflateZlib(stream + "\x01", 1000).status, InflateStatus::kTrailingBytes);
  for (const std::string& bad : {stream.substr(0, stream.size() - 1), stream.substr(2), std::string()})
    EXPECT_EQ(InflateZlib(bad, 1000).status, InflateStatus::kCorrupt);
  // A few kilobytes must not expand past the bound.
  r = InflateZlib(Compress(std::string(4 << 20, '\0')), 1 << 20);
  EXPECT_EQ(std::tie(r.status, r.bytes), std::tuple(InflateStatus::kTooLarge, std::string()));

  std::string wide;  // U+1F600, four bytes of UTF-8 each
  for (std::size_t i = 0; i < kMaxValueBytes / 4; ++i) wide += "F09F9880";
  const std::string query = "AppVer=312E302E31&X0=FF&ExecutionLevel=31&UUID=&X1=41&OSMajorVer=" + wide;
  const std::vector<std::pair<std::string, std::string>> kept = {
      {"AppVer", "1.0.1"}, {"ExecutionLevel", "1"}, {"UUID", ""}, {"OSMajorVer", *HexToBytes(wide)}};
  for (bool zip : {false, true}) {
    const DecodeResult decoded = DecodeUpdateBody(MakeBody(query, zip));
    ASSERT_TRUE(decoded.query) << decoded.error;
    const UpdateQuery& q = *decoded.query;
    EXPECT_EQ(std::tuple(q.compressed, q.text, q.fields, q.unknownFields, q.HasFullProfile()),
              std::tuple(zip, query, kept, 2u, false));
  }

  const std::string kQuery = "AppVer=312E302E31&ExecutionLevel=31&UUID=&OSMajorVer=3130";
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
    EXPECT_FALSE(r.query || r.error.empty()) << body.substr(0, 80);
    EXPECT_TRUE(body.size() > kMaxBodyBytes ||
                std::chrono::steady_clock::now() - start < std::chrono::milliseconds(20));
  }
  EXPECT_NE(DecodeUpdateBody(MakeBody(repeatedLast, true)).error.find("repeated: F0"), std::string::npos);
}

// The answer to a decoded query, from a catalog of three versions.
class AnswerTest : public ::testing::Test {
 protected:
  // The data member of the answer, after the checks every answer must pass.
  json Ask(const std::string& query, ClientHistory history = {}) {
    AnswerResult r = AnswerQuery(catalog_, Parse(query), history);
    EXPECT_TRUE(r.answer) << r.error;
    if (!r.answer) return json();
    const json doc = json::parse(r.answer->json);
    EXPECT_TRUE(doc["code"] == 1 && doc["message"].is_string()) << doc;
    EXPECT_EQ(doc["data"]["action"], std::to_string(r.answer->action));
    return doc["data"];
  }

  Catalog catalog_{"3.0.0",
                   {{"1.0.0", "http://pkg/1.0.0.exe", 100, std::string(32, 'a'), false, "", ""},
                    {"2.0.0", "http://pkg/2.0.0.exe", 200, std::string(32, 'b'), true, "", ""},
                    {"3.0.0", "http://pkg/包/3.0.0.exe", 3000000, "0123456789ABCDEF0123456789abcdef", false,
                     "", std::string(64, 'C')}},
                   {}};
};

TEST_F(AnswerTest, AsksForFullProfilesByPolicyAndOffersTheLatestPackageToOlderVersionsOnly) {
  // The full profile is asked for only when the policy wants it.
  const std::string shortQuery = ShortQuery("1.0.0", "U-1"),
                    fullQuery = FullQuery("1.0.0", "U-1", "excel", "16");
  catalog_.policy = {.wantFullProfile = true, .fullProfileEveryDays = 0, .updateUrl = "http://n/"};
  EXPECT_EQ(Ask(shortQuery),
            json::parse(R"({"action":"32","updateurl":")" + HexEncodeText("http://n/") + "\"}"));
  EXPECT_EQ(Ask(ShortQuery("3.0.0", "U-1"))["action"], "32");  // up to date, still asked
  EXPECT_EQ(Ask(fullQuery)["action"], "33");

  catalog_.policy = {.wantFullProfile = false, .fullProfileEveryDays = 7, .updateUrl = ""};
  constexpr std::int64_t kDay = 86400, kNow = 1000 * kDay;
  EXPECT_EQ(Ask(shortQuery, {kNow, std::nullopt})["action"], "32");  // never sent
  EXPECT_EQ(Ask(shortQuery, {kNow, kNow - 6 * kDay})["action"], "33");
  EXPECT_EQ(Ask(shortQuery, {kNow, kNow - 7 * kDay})["action"], "32");
  EXPECT_EQ(Ask(fullQuery, {kNow, std::nullopt})["action"], "33");
  // Without a UUID there is no history to go by.
  EXPECT_EQ(Ask(ShortQuery("1.0.0", ""), {kNow, std::nullopt})["action"], "33");

  // The latest package is offered to older versions only.
  const std::pair<const char*, const char*> cases[] = {
      {"0.0.0", "33"}, {"2.9.99", "33"}, {"3.0.0", "31"}, {"3.0", "31"}, {"10.0.0", "31"}};
  for (const std::string url : {"", "http://new.example/zelguard/update1"}) {
    // Without an update address, and with one that moves clients in every answer.
    catalog_.policy = {.wantFullProfile = false, .fullProfileEveryDays = 0, .updateUrl = url};
    for (const auto& [version, action] : cases) {
      const json data = Ask(ShortQuery(version, "U"));
      EXPECT_EQ(data["action"], action) << version;
      EXPECT_EQ(data.contains("updateinfo"), action == std::string("33")) << version;
      EXPECT_EQ(data.value("updateurl", "-"), url.empty() ? "-" : HexEncodeText(url)) << version;
    }
  }
  const json info = Ask(ShortQuery("1.0.0", "U"))["updateinfo"];
  // A fresh installation is needed when the way up crosses a version that wants one.
  EXPECT_EQ(info, json::parse(R"({"ver":"3.0.0","size":3000000,"hash":"0123456789ABCDEF0123456789abcdef",)"
                              R"("sha256":")" +
                              std::string(64, 'C') + R"(","reinstall":1,"packageurl":")" +
                              HexEncodeText("http://pkg/包/3.0.0.exe") + "\"}"));
  EXPECT_EQ(Ask(ShortQuery("2.0.0", "U"))["updateinfo"]["reinstall"], 0);
  catalog_.packages.back().sha256.clear();  // published before SHA-256 was kept: offered without
  EXPECT_FALSE(Ask(ShortQuery("2.0.0", "U"))["updateinfo"].contains("sha256"));
  catalog_.packages.back().reinstall = true;  // the offered version itself wants one
  EXPECT_EQ(Ask(ShortQuery("2.0.0", "U"))["updateinfo"]["reinstall"], 1);

  catalog_.latest.clear();  // nothing offered
  EXPECT_EQ(Ask(ShortQuery("0.0.1", "U"))["action"], "31");
}

}  // namespace
}  // namespace zel::svc::test
