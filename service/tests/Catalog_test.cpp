#include "Catalog.h"

#include "CatalogWatch.h"
#include "Commands.h"
#include "TestSupport.h"

namespace zel::svc::test {
namespace {

// Runs "publish --catalog C --url U --package P --version" with the rest given; its exit code.
int Publish(const std::string& catalog, const std::string& url, const std::string& package,
            std::vector<std::string> rest) {
  rest.insert(rest.begin(), {"publish", "--catalog", catalog, "--url", url, "--package", package, "--version"});
  std::ostringstream out, err;
  return RunPublish(ParseCommandLine(rest).publish, out, err);
}

TEST(Catalog, ComparesVersionsByNumber) {
  EXPECT_EQ(CompareVersions("02.001", "2.1.0"), 0);
  EXPECT_LT(CompareVersions("1.9", "1.10"), 0);
  EXPECT_GT(CompareVersions("10", "9.9.9"), 0);
  EXPECT_GT(CompareVersions("1.0.99999999999999999999", "1.0.99999999999999999998"), 0);
  for (const char* bad : {"", "1.", ".1", "1..2", "1.2a", "v1", " 1"})
    EXPECT_FALSE(IsVersionText(bad)) << bad;
}

TEST(Catalog, PublishMeasuresThePackageKeepsVersionsInOrderAndLosesNoConcurrentChange) {
  ScratchDir dir;
  const std::string catalog = dir.File("c.json"), package = dir.Write("p.exe", "abc");
  // Addresses the range download cannot use.
  for (const char* url :
       {"https://h/p.exe", "h/p.exe", "http://", "http:///p.exe", "http://h/a b.exe", "HTTP://h/p"})
    EXPECT_EQ(Publish(catalog, url, package, {"1.0"}), 1) << url;
  // An update address clients could not follow is refused as well.
  for (const char* url : {"update.example/zelguard/update1", "https://h/\x1b]0;x"}) {
    EXPECT_EQ(ParseCommandLine({"publish", "--catalog", catalog, "--policy", "update-url", url}).kind,
              ParsedCommand::kError) << url;
  }
  EXPECT_FALSE(std::filesystem::exists(catalog));
  std::string error;
  // The first one is offered until one is published with --latest, whatever the
  // versions in between; the same version written differently replaces its entry.
  for (const auto& [args, latest] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"2.0.0"}, "2.0.0"},
           {{"2.10.0"}, "2.0.0"},
           {{"2.9.0"}, "2.0.0"},
           {{"2.9", "--reinstall", "1", "--latest", "--policy", "update-url", "https://n.example/zelguard/update1"},
            "2.9"}}) {
    ASSERT_EQ(Publish(catalog, "http://h/p.exe", package, args), 0) << args[0];
    EXPECT_EQ(LoadCatalog(catalog, error).value_or(Catalog{}).latest, latest) << args[0] << error;
  }
  EXPECT_EQ(Publish(catalog, "http://h/p.exe", dir.Write("empty.exe", ""), {"3.0.0", "--latest"}), 1);
  std::vector<std::thread> publishers;
  for (int i = 0; i < 8; ++i) {
    publishers.emplace_back(
        [&, i] { EXPECT_EQ(Publish(catalog, "http://h/p.exe", package, {"1." + std::to_string(i)}), 0); });
  }
  for (auto& t : publishers) t.join();

  auto loaded = LoadCatalog(catalog, error);
  ASSERT_TRUE(loaded) << error;
  EXPECT_EQ(loaded->latest, "2.9");
  EXPECT_EQ(loaded->policy.updateUrl, "https://n.example/zelguard/update1");
  ASSERT_EQ(loaded->packages.size(), 11u);
  EXPECT_EQ(loaded->packages[8].size, 3);
  EXPECT_EQ(loaded->packages[8].md5, "900150983CD24FB0D6963F7D28E17F72");
  EXPECT_EQ(loaded->packages[8].sha256, "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD");
  EXPECT_TRUE(loaded->Find("2.9.0")->reinstall);
  EXPECT_EQ(loaded->packages[10].version, "2.10.0");
  // Nothing but the catalog and its lock file is left beside it.
  std::size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path)) files += entry.path().extension() != ".exe";
  EXPECT_EQ(files, 2u);

  // A published version keeps its bytes unless replaced on purpose; an address names
  // the package's own file; an option never takes the next one as its value.
  const std::string other = dir.Write("other/p.exe", "abcd");
  EXPECT_EQ(Publish(catalog, "http://h/p.exe", other, {"2.9.0"}), 1);
  EXPECT_EQ(Publish(catalog, "http://h/p.exe", package, {"2.9.0"}), 0);  // the same bytes again
  EXPECT_EQ(Publish(catalog, "http://h/q.exe?v=1", package, {"4.0"}), 1);
  EXPECT_EQ(Publish(catalog, "http://h/p.exe", other, {"2.9.0", "--replace"}), 0);
  EXPECT_EQ(LoadCatalog(catalog, error)->Find("2.9")->size, 4);
  const ParsedCommand parsed = ParseCommandLine(
      {"publish", "--catalog", catalog, "--version", "4.0", "--package", package, "--url", "--latest"});
  EXPECT_EQ(parsed.error, "--url needs a value");
}

TEST(Catalog, RefusesInvalidCatalogsAndLoadsOlderOnes) {
  const std::string md5 = R"(,"md5":")" + std::string(32, 'F') + R"("})";
  const auto with = [](const std::string& package, const std::string& latest = "1.0") {
    return R"({"latest":")" + latest + R"(","packages":[)" + package + "]}";
  };
  const std::string cases[] = {
      with(R"({"version":"1.0","url":"http://h/u","size":10)" + md5, "2.0"),  // latest not listed
      with(R"({"version":"1.0","url":"http://h/u","size":0)" + md5),
      with(R"({"version":"1.0","url":"http://h/u","size":2147483648)" + md5),
      with(R"({"version":"1.0","url":"http://h/u","size":10,"md5":"abc"})"),
      with(R"({"version":"1.0","url":"https://h/u","size":10)" + md5),  // no range download over https
      with(R"({"version":"1.0","url":"http://h/u","size":10)" + md5 +
           R"(,{"version":"1.0.0","url":"http://h/u","size":10)" + md5),
      with(R"({"version":"1.0","url":"http://h/u","size":10,"sha256":")" + std::string(64, 'f') + "\"" + md5),
      with(R"({"version":"1.0","url":"http://h/u","size":10,"sha256":")" + std::string(63, 'F') + "\"" + md5),
      R"({"policy":{"full_profile_every_days":-1}})",
      R"({"policy":{"update_url":"ftp://h/zelguard/update1"}})",
  };
  for (const std::string& text : cases) {
    std::string error;
    EXPECT_FALSE(CatalogFromJson(text, error) || error.empty()) << text;
  }
  // A catalog written before packages had their SHA-256 kept is still valid.
  std::string error;
  const auto older = CatalogFromJson(with(R"({"version":"1.0","url":"http://h/u","size":10)" + md5), error);
  ASSERT_TRUE(older) << error;
  EXPECT_EQ(older->packages[0].sha256, "");
}

// A broken, half-written or removed file leaves the last good catalog in service.
// A publish may replace the file after the service read it and before it began to
// watch: the first check reads it again.
TEST(CatalogWatch, ServesTheLastGoodCatalogFromTheFirstCheckOn) {
  ScratchDir dir;
  const std::string path =
      dir.Write("c.json", R"({"latest":"2.1.0","packages":[{"version":"2.1.0","url":"http://h/p.exe",)"
                          R"("size":10,"md5":"900150983CD24FB0D6963F7D28E17F72"}]})");
  CatalogWatch watch(path, Catalog{}, std::chrono::hours(1));
  const auto latest = [&] { return watch.Check(), watch.Current()->latest; };  // after a check
  EXPECT_EQ(latest(), "2.1.0");
  for (const char* fault : {"{ broken", "", R"({"latest":"9.0","packages":[]})"}) {
    dir.Write("c.json", fault);
    EXPECT_EQ(latest(), "2.1.0") << fault;
  }
  std::filesystem::remove(path);
  EXPECT_EQ(latest(), "2.1.0");
  dir.Write("c.json", R"({"latest":"","packages":[]})");  // valid, and offers nothing
  EXPECT_EQ(latest(), "");
}

}  // namespace
}  // namespace zel::svc::test
