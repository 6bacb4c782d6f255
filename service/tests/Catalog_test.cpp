#include "Catalog.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace zel::svc {
namespace {

PackageEntry Entry(const std::string& version, bool reinstall = false) {
  return {version, "http://x/" + version + ".exe", 1000, std::string(32, 'a'), reinstall, ""};
}

TEST(Catalog, ComparesVersionsByNumber) {
  EXPECT_EQ(CompareVersions("2.1", "2.1.0"), 0);
  EXPECT_EQ(CompareVersions("02.001", "2.1"), 0);
  EXPECT_LT(CompareVersions("1.9", "1.10"), 0);
  EXPECT_GT(CompareVersions("10", "9.9.9"), 0);
  EXPECT_LT(CompareVersions("0.0.0", "0.0.1"), 0);
  EXPECT_GT(CompareVersions("1.0.99999999999999999999", "1.0.99999999999999999998"), 0);

  for (const char* good : {"1", "1.2.3", "0.0.0", "10.0.19045"}) EXPECT_TRUE(IsVersionText(good)) << good;
  for (const char* bad : {"", ".", "1.", ".1", "1..2", "1.2a", "v1", "1.-2", " 1"}) {
    EXPECT_FALSE(IsVersionText(bad)) << bad;
  }
}

TEST(Catalog, PublishKeepsEntriesSortedAndMovesLatestOnlyWhenAsked) {
  Catalog c;
  PublishEntry(c, Entry("2.0.0"), false);
  EXPECT_EQ(c.latest, "2.0.0");  // the first entry is offered
  PublishEntry(c, Entry("2.10.0"), false);
  PublishEntry(c, Entry("2.9.0"), false);
  EXPECT_EQ(c.latest, "2.0.0");
  ASSERT_EQ(c.packages.size(), 3u);
  EXPECT_EQ(c.packages[1].version, "2.9.0");
  EXPECT_EQ(c.packages[2].version, "2.10.0");

  PublishEntry(c, Entry("2.9", true), true);  // same version, written differently
  EXPECT_EQ(c.packages.size(), 3u);
  EXPECT_TRUE(c.Find("2.9.0")->reinstall);
  EXPECT_EQ(c.latest, "2.9");
}

TEST(Catalog, SavesAndLoadsItsFile) {
  test::ScratchDir dir;
  std::string error;
  auto missing = LoadCatalog(dir.File("none.json"), error);
  ASSERT_TRUE(missing);
  EXPECT_TRUE(missing->packages.empty());
  EXPECT_TRUE(missing->latest.empty());

  Catalog c;
  PublishEntry(c, Entry("3.0.0", true), true);
  PublishEntry(c, Entry("1.0.0"), false);
  c.policy = {true, 14, "http://elsewhere/zelguard/update1"};
  ASSERT_TRUE(SaveCatalog(dir.File("c.json"), c, error)) << error;
  EXPECT_FALSE(std::filesystem::exists(dir.File("c.json.tmp")));

  auto loaded = LoadCatalog(dir.File("c.json"), error);
  ASSERT_TRUE(loaded) << error;
  EXPECT_EQ(CatalogToJson(*loaded), CatalogToJson(c));
  EXPECT_EQ(loaded->packages[0].version, "1.0.0");
  EXPECT_EQ(loaded->policy.full_profile_every_days, 14);

  EXPECT_FALSE(SaveCatalog(dir.File("no/such/folder/c.json"), c, error));
  EXPECT_FALSE(error.empty());
}

TEST(Catalog, RefusesInvalidCatalogs) {
  const std::string md5(32, 'F');
  const auto with = [&](const std::string& package, const std::string& latest = "1.0") {
    return R"({"latest":")" + latest + R"(","packages":[)" + package + "]}";
  };
  const std::string cases[] = {
      "",
      "[]",
      "{ broken",
      with(R"({"version":"1.0","url":"u","size":10,"md5":")" + md5 + R"("})", "2.0"),  // latest not listed
      with(R"({"version":"1.0","url":"u","size":0,"md5":")" + md5 + R"("})"),
      with(R"({"version":"1.0","url":"u","size":2147483648,"md5":")" + md5 + R"("})"),
      with(R"({"version":"1.0","url":"u","size":"10","md5":")" + md5 + R"("})"),
      with(R"({"version":"1.0","url":"u","size":10,"md5":"abc"})"),
      with(R"({"version":"1.0","url":"","size":10,"md5":")" + md5 + R"("})"),
      with(R"({"version":"one","url":"u","size":10,"md5":")" + md5 + R"("})", ""),
      with(R"({"version":"1.0","url":"u","size":10,"md5":")" + md5 +
           R"("},{"version":"1.0.0","url":"u","size":10,"md5":")" + md5 + R"("})"),
      R"({"policy":{"full_profile_every_days":-1}})",
  };
  for (const std::string& text : cases) {
    std::string error;
    EXPECT_FALSE(CatalogFromJson(text, error)) << text;
    EXPECT_FALSE(error.empty()) << text;
  }
}

}  // namespace
}  // namespace zel::svc
