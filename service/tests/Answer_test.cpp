#include "Answer.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "TestSupport.h"
#include "WireCodec.h"

namespace zel::svc {
namespace {

using nlohmann::json;

constexpr std::int64_t kDay = 86400;

UpdateQuery Query(const std::string& text) {
  UpdateQuery q;
  q.text = text;
  EXPECT_EQ(ParseQueryFields(text, q), "");
  return q;
}

class AnswerTest : public ::testing::Test {
 protected:
  AnswerTest() {
    PublishEntry(catalog_, {"1.0.0", "http://pkg/1.0.0.exe", 100, std::string(32, 'a'), false, ""}, true);
    PublishEntry(catalog_, {"2.0.0", "http://pkg/2.0.0.exe", 200, std::string(32, 'b'), true, ""}, false);
    PublishEntry(catalog_,
                 {"3.0.0", "http://pkg/包/3.0.0.exe", 3000000, "0123456789ABCDEF0123456789abcdef", false, ""},
                 true);
  }

  json Ask(const std::string& query, ClientHistory history = {}) {
    AnswerResult r = AnswerQuery(catalog_, Query(query), history);
    EXPECT_TRUE(r.answer) << r.error;
    if (!r.answer) return json();
    // The program looks for these names in the raw text before it parses anything.
    for (const char* name : {"\"code\"", "\"message\"", "\"data\""}) {
      EXPECT_NE(r.answer->json.find(name), std::string::npos) << name;
    }
    json doc = json::parse(r.answer->json);
    EXPECT_EQ(doc["code"], 1);
    EXPECT_TRUE(doc["message"].is_string());
    EXPECT_EQ(doc["data"]["action"], std::to_string(r.answer->action));
    return doc;
  }

  Catalog catalog_;
};

TEST_F(AnswerTest, OffersTheLatestPackageToOlderVersions) {
  for (const char* old_version : {"0.0.0", "1.0.0", "2.9.99"}) {
    const json a = Ask(test::ShortQuery(old_version, "U"));
    EXPECT_EQ(a["data"]["action"], "33") << old_version;
    const json& info = a["data"]["updateinfo"];
    EXPECT_EQ(info["ver"], "3.0.0");
    EXPECT_EQ(info["size"], 3000000);
    EXPECT_TRUE(info["size"].is_number_integer());
    EXPECT_EQ(info["hash"], "0123456789ABCDEF0123456789abcdef");
    EXPECT_EQ(info["packageurl"], HexEncodeText("http://pkg/包/3.0.0.exe"));
    EXPECT_TRUE(info["reinstall"].is_number_integer());
    EXPECT_FALSE(a["data"].contains("updateurl"));
  }
  // A fresh installation is needed when the way up crosses a version that wants one.
  EXPECT_EQ(Ask(test::ShortQuery("1.0.0", "U"))["data"]["updateinfo"]["reinstall"], 1);
  EXPECT_EQ(Ask(test::ShortQuery("2.0.0", "U"))["data"]["updateinfo"]["reinstall"], 0);
}

TEST_F(AnswerTest, TellsCurrentAndNewerVersionsTheyAreUpToDate) {
  for (const char* version : {"3.0.0", "3.0", "3.0.1", "10.0.0"}) {
    const json a = Ask(test::ShortQuery(version, "U"));
    EXPECT_EQ(a["data"]["action"], "31") << version;
    EXPECT_FALSE(a["data"].contains("updateinfo"));
  }
  catalog_.latest.clear();  // nothing offered
  EXPECT_EQ(Ask(test::ShortQuery("0.0.1", "U"))["data"]["action"], "31");
}

TEST_F(AnswerTest, AsksForTheFullProfileOnlyWhenThePolicyWantsIt) {
  const std::string short_query = test::ShortQuery("1.0.0", "U-1");
  const std::string full_query = test::FullQuery("1.0.0", "U-1", "excel", "16");
  EXPECT_EQ(Ask(short_query)["data"]["action"], "33");

  catalog_.policy.want_full_profile = true;
  EXPECT_EQ(Ask(short_query)["data"]["action"], "32");
  EXPECT_FALSE(Ask(short_query)["data"].contains("updateinfo"));
  EXPECT_EQ(Ask(test::ShortQuery("3.0.0", "U-1"))["data"]["action"], "32");  // up to date, still asked
  EXPECT_EQ(Ask(full_query)["data"]["action"], "33");

  catalog_.policy.want_full_profile = false;
  catalog_.policy.full_profile_every_days = 7;
  const std::int64_t now = 1000 * kDay;
  EXPECT_EQ(Ask(short_query, {now, std::nullopt})["data"]["action"], "32");  // never sent
  EXPECT_EQ(Ask(short_query, {now, now - 6 * kDay})["data"]["action"], "33");
  EXPECT_EQ(Ask(short_query, {now, now - 7 * kDay})["data"]["action"], "32");
  EXPECT_EQ(Ask(full_query, {now, std::nullopt})["data"]["action"], "33");
  // Without a UUID there is no history to go by.
  EXPECT_EQ(Ask(test::ShortQuery("1.0.0", ""), {now, std::nullopt})["data"]["action"], "33");
}

TEST_F(AnswerTest, MovesClientsToANewAddressInEveryAnswer) {
  catalog_.policy.update_url = "http://new.example/zelguard/update1";
  const std::string hex = HexEncodeText(catalog_.policy.update_url);
  EXPECT_EQ(Ask(test::ShortQuery("1.0.0", "U"))["data"]["updateurl"], hex);
  EXPECT_EQ(Ask(test::ShortQuery("3.0.0", "U"))["data"]["updateurl"], hex);
  catalog_.policy.want_full_profile = true;
  EXPECT_EQ(Ask(test::ShortQuery("3.0.0", "U"))["data"]["updateurl"], hex);
}

TEST_F(AnswerTest, RefusesAnAppVerThatIsNoVersion) {
  for (const char* bad : {"", "beta", "1.0.0 "}) {
    AnswerResult r = AnswerQuery(catalog_, Query("AppVer=" + HexEncodeText(bad) + "&ExecutionLevel=30"), {});
    EXPECT_FALSE(r.answer) << bad;
    EXPECT_FALSE(r.error.empty());
  }
  const json error = json::parse(ErrorJson("bad \xFF text"));
  EXPECT_EQ(error["code"], 0);
  EXPECT_TRUE(error["data"].is_null());
}

}  // namespace
}  // namespace zel::svc
