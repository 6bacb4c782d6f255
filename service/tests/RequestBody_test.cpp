#include "RequestBody.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include "TestSupport.h"
#include "WireCodec.h"

namespace zel::svc {
namespace {

using test::MakeBody;

const std::string kQuery = "AppVer=312E302E31&ExecutionLevel=31&UUID=&OSMajorVer=3130";

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

TEST(RequestBody, DecodesPlainAndCompressedQueries) {
  for (bool zip : {false, true}) {
    DecodeResult r = DecodeUpdateBody(MakeBody(kQuery, zip));
    ASSERT_TRUE(r.query) << r.error;
    EXPECT_EQ(r.query->compressed, zip);
    EXPECT_EQ(r.query->text, kQuery);
    ASSERT_EQ(r.query->fields.size(), 4u);
    EXPECT_EQ(r.query->fields[0], (std::pair<std::string, std::string>("AppVer", "1.0.1")));
    EXPECT_EQ(r.query->Field("ExecutionLevel"), "1");
    EXPECT_EQ(r.query->Field("UUID"), "");  // present and empty
    EXPECT_EQ(r.query->Field("Arch"), std::nullopt);
    EXPECT_FALSE(r.query->HasFullProfile());
  }

  // Hex digits of either case, in the data and in the values.
  const std::string body = MakeBody(kQuery, false);
  const std::size_t data = body.find("data=") + 5;
  DecodeResult lower = DecodeUpdateBody(body.substr(0, data) + Lower(body.substr(data)));
  ASSERT_TRUE(lower.query) << lower.error;
  EXPECT_EQ(lower.query->Field("AppVer"), "1.0.1");

  DecodeResult full = DecodeUpdateBody(MakeBody(test::FullQuery("2.0.0", "U-1", "wps", "11"), true));
  ASSERT_TRUE(full.query) << full.error;
  EXPECT_TRUE(full.query->HasFullProfile());
  EXPECT_EQ(full.query->Field("OSName"), "Microsoft Windows 10 专业版");
  EXPECT_EQ(full.query->Field("OfficeAddins"), "{}");
}

TEST(RequestBody, RefusesBodiesTheProgramNeverSends) {
  const std::string hex = BytesToHex(kQuery);
  const std::string n = std::to_string(hex.size());
  const std::string zipped = MakeBody(kQuery, true);
  const std::string zipped_data = zipped.substr(zipped.find("data=") + 5);
  const auto zip_body = [](const std::string& data) {
    return "size=" + std::to_string(data.size()) + "&checksum=0&zip=1&data=" + data;
  };
  const std::string cases[] = {
      "",
      "size=" + n + "&checksum=0&zip=0",                                           // a field missing
      "size=" + n + "&checksum=0&zip=0&data=" + hex + "&x=1",                      // a field too many
      "checksum=0&size=" + n + "&zip=0&data=" + hex,                               // fields out of order
      "size=" + std::to_string(hex.size() + 2) + "&checksum=0&zip=0&data=" + hex,  // size wrong
      "size=0" + n + "&checksum=0&zip=0&data=" + hex,                              // leading zero
      "size=+" + n + "&checksum=0&zip=0&data=" + hex,
      "size=" + n + "&checksum=1&zip=0&data=" + hex,
      "size=" + n + "&checksum=0&zip=2&data=" + hex,
      "size=" + n + "&checksum=0&zip=0&data=" + hex.substr(0, hex.size() - 1) + "G",
      "size=3&checksum=0&zip=0&data=616",                       // odd length
      "size=0&checksum=0&zip=0&data=",                          // nothing
      "size=" + n + "&checksum=0&zip=1&data=" + hex,            // zip=1 but not compressed
      zip_body(zipped_data + "00"),                             // bytes after the stream
      zip_body(zipped_data.substr(0, zipped_data.size() - 2)),  // stream cut short
      "size=99999999999&checksum=0&zip=0&data=" + hex,
  };
  for (const std::string& body : cases) {
    DecodeResult r = DecodeUpdateBody(body);
    EXPECT_FALSE(r.query) << body;
    EXPECT_FALSE(r.error.empty()) << body;
  }
}

TEST(RequestBody, RefusesQueriesWithoutUsableFields) {
  const std::string cases[] = {
      "ExecutionLevel=30",  // no AppVer
      "AppVer=312E30",      // no ExecutionLevel
      "AppVer=312E30&ExecutionLevel=30&AppVer=322E30",
      "AppVer=312E30&ExecutionLevel=30&UUID",   // item without =
      "AppVer=312E30&ExecutionLevel=30&=3130",  // item without name
      "AppVer=312E30&ExecutionLevel=30&CPU=xyz",
      "AppVer=312E30&ExecutionLevel=30&",  // empty item
  };
  for (const std::string& query : cases) {
    DecodeResult r = DecodeUpdateBody(MakeBody(query, false));
    EXPECT_FALSE(r.query) << query;
    EXPECT_FALSE(r.error.empty()) << query;
  }
}

}  // namespace
}  // namespace zel::svc
