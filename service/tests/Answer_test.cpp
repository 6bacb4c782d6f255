#include "Answer.h"

#include <nlohmann/json.hpp>

#include "TestSupport.h"

namespace zel::svc::test {
namespace {

using nlohmann::json;

class AnswerTest : public ::testing::Test {
 protected:
  AnswerTest() {
    PublishEntry(catalog_, {"1.0.0", "http://pkg/1.0.0.exe", 100, std::string(32, 'a'), false, "", ""}, true);
    PublishEntry(catalog_, {"2.0.0", "http://pkg/2.0.0.exe", 200, std::string(32, 'b'), true, "", ""}, false);
    PublishEntry(catalog_,
                 {"3.0.0", "http://pkg/包/3.0.0.exe", 3000000, "0123456789ABCDEF0123456789abcdef", false, "",
                  std::string(64, 'C')},
                 true);
  }

  // The data member of the answer, after the checks every answer must pass.
  json Ask(const std::string& query, ClientHistory history = {}) {
    AnswerResult r = AnswerQuery(catalog_, Parse(query), history);
    EXPECT_TRUE(r.answer) << r.error;
    if (!r.answer) return json();
    const json doc = json::parse(r.answer->json);
    EXPECT_EQ(doc["code"], 1);
    EXPECT_TRUE(doc["message"].is_string());
    EXPECT_EQ(doc["data"]["action"], std::to_string(r.answer->action));
    return doc["data"];
  }

  Catalog catalog_;
};

TEST_F(AnswerTest, OffersTheLatestPackageToOlderVersionsOnly) {
  const std::pair<const char*, const char*> cases[] = {
      {"0.0.0", "33"}, {"2.9.99", "33"}, {"3.0.0", "31"}, {"3.0", "31"}, {"10.0.0", "31"}};
  for (const std::string url : {"", "http://new.example/zelguard/update1"}) {
    catalog_.policy.updateUrl = url;  // moves clients to a new address in every answer
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

TEST_F(AnswerTest, AsksForTheFullProfileOnlyWhenThePolicyWantsIt) {
  const std::string shortQuery = ShortQuery("1.0.0", "U-1");
  const std::string fullQuery = FullQuery("1.0.0", "U-1", "excel", "16");
  catalog_.policy.wantFullProfile = true;
  catalog_.policy.updateUrl = "http://n/";
  EXPECT_EQ(Ask(shortQuery),
            json::parse(R"({"action":"32","updateurl":")" + HexEncodeText("http://n/") + "\"}"));
  EXPECT_EQ(Ask(ShortQuery("3.0.0", "U-1"))["action"], "32");  // up to date, still asked
  EXPECT_EQ(Ask(fullQuery)["action"], "33");

  catalog_.policy.wantFullProfile = false;
  catalog_.policy.fullProfileEveryDays = 7;
  constexpr std::int64_t kDay = 86400, kNow = 1000 * kDay;
  EXPECT_EQ(Ask(shortQuery, {kNow, std::nullopt})["action"], "32");  // never sent
  EXPECT_EQ(Ask(shortQuery, {kNow, kNow - 6 * kDay})["action"], "33");
  EXPECT_EQ(Ask(shortQuery, {kNow, kNow - 7 * kDay})["action"], "32");
  EXPECT_EQ(Ask(fullQuery, {kNow, std::nullopt})["action"], "33");
  // Without a UUID there is no history to go by.
  EXPECT_EQ(Ask(ShortQuery("1.0.0", ""), {kNow, std::nullopt})["action"], "33");
}

}  // namespace
}  // namespace zel::svc::test
