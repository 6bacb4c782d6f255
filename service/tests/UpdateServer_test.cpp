// The service on loopback, driven over real HTTP.
#include "UpdateServer.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <thread>

#include "TestSupport.h"
#include "WireCodec.h"

namespace zel::svc {
namespace {

using nlohmann::json;
using test::MakeBody;
using test::ShortQuery;

constexpr const char* kForm = "application/x-www-form-urlencoded";
constexpr const char* kPackage = "/packages/zel-2.1.0.exe";

int Status(const httplib::Result& res) { return res ? res->status : -1; }

class UpdateServerTest : public ::testing::Test {
 protected:
  void SetUp() override { Start(true); }
  void TearDown() override {
    if (!server_) return;
    server_->Stop();
    thread_.join();
  }

  void Start(bool test_control) {
    std::string error;
    store_ = CheckinStore::Open(dir_.File("checkins.db"), error);
    ASSERT_TRUE(store_) << error;
    std::filesystem::create_directories(dir_.path() / "packages");
    package_.resize(3000000);
    for (std::size_t i = 0; i < package_.size(); ++i)
      package_[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    dir_.Write("packages/zel-2.1.0.exe", package_);

    Catalog catalog;
    PublishEntry(catalog, {"2.0.0", "http://old/zel-2.0.0.exe", 10, std::string(32, 'A'), true, ""}, true);
    PublishEntry(
        catalog,
        {"2.1.0", "http://127.0.0.1/packages/zel-2.1.0.exe", 3000000, std::string(32, 'b'), false, ""}, true);
    SaveCatalog(catalog);

    ServerConfig config;
    config.catalog_path = dir_.File("catalog.json");
    config.packages_dir = (dir_.path() / "packages").string();
    config.test_control = test_control;
    config.log_requests = false;
    server_ = std::make_unique<UpdateServer>(config, *store_);
    auto port = server_->Bind(error);
    ASSERT_TRUE(port) << error;
    port_ = *port;
    thread_ = std::thread([this] { server_->Run(); });
  }

  void SaveCatalog(const Catalog& catalog) {
    std::string error;
    ASSERT_TRUE(zel::svc::SaveCatalog(dir_.File("catalog.json"), catalog, error)) << error;
  }

  httplib::Client Client() {
    httplib::Client client("127.0.0.1", port_);
    client.set_read_timeout(10, 0);
    return client;
  }

  httplib::Result PostUpdate(const std::string& query, bool zip = false) {
    return Client().Post("/zelguard/update1", MakeBody(query, zip), kForm);
  }

  // The data member of the answer; null when there is none.
  json Data(const std::string& query, bool zip = false) {
    auto res = PostUpdate(query, zip);
    return res ? json::parse(res->body)["data"] : json();
  }

  json Requests() {
    auto res = Client().Get("/_test/requests");
    EXPECT_TRUE(res && res->status == 200);
    return res ? json::parse(res->body) : json();
  }

  void AddFaults(const std::string& faults) {
    auto res = Client().Post("/_test/faults", faults, "application/json");
    ASSERT_TRUE(res);
    ASSERT_EQ(res->status, 200) << res->body;
  }

  test::ScratchDir dir_;
  std::string package_;
  std::unique_ptr<CheckinStore> store_;
  std::unique_ptr<UpdateServer> server_;
  std::thread thread_;
  int port_ = 0;
};

TEST_F(UpdateServerTest, AnswersQueriesAndRecordsCheckinsAndRequests) {
  auto res = PostUpdate(ShortQuery("2.0.0", "U-1"));
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  EXPECT_EQ(res->get_header_value("Content-Type"), "application/json; charset=utf-8");
  const json data = json::parse(res->body)["data"];
  EXPECT_EQ(data["action"], "33");
  EXPECT_EQ(HexDecodeText(data["updateinfo"]["packageurl"].get<std::string>()),
            "http://127.0.0.1/packages/zel-2.1.0.exe");
  EXPECT_EQ(Data(test::FullQuery("2.1.0", "U-2", "excel", "16"), true)["action"], "31");

  EXPECT_EQ(store_->CountCheckins(), 2);
  EXPECT_TRUE(store_->LastFullProfile("U-2"));
  const json requests = Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0]["method"], "POST");
  EXPECT_EQ(requests[0]["target"], "/zelguard/update1");
  EXPECT_EQ(requests[0]["body"], MakeBody(ShortQuery("2.0.0", "U-1"), false));
  EXPECT_EQ(requests[0]["query"], ShortQuery("2.0.0", "U-1"));
  EXPECT_EQ(requests[1]["decoded"]["OSName"], "Microsoft Windows 10 专业版");
  EXPECT_NE(requests[0]["headers"].dump().find(R"(["Content-Type","application/x-www-form-urlencoded"])"),
            std::string::npos);
}

TEST_F(UpdateServerTest, RefusesBadRequestsWithJsonAndKeepsServing) {
  const struct {
    const char* target;
    std::string body;
    int status;
  } cases[] = {
      {"/zelguard/update1", "size=6&checksum=0&zip=0&data=61626", 400},
      {"/zelguard/update1", MakeBody("AppVer=" + HexEncodeText("beta") + "&ExecutionLevel=30", false), 400},
      {"/zelguard/update1", std::string(kMaxBodyBytes + 1, 'a'), 413},
      {"/elsewhere", MakeBody(ShortQuery("2.0.0", "U"), false), 404},
  };
  for (const auto& c : cases) {
    auto res = Client().Post(c.target, c.body, kForm);
    ASSERT_TRUE(res) << c.status;
    EXPECT_EQ(res->status, c.status);
    EXPECT_EQ(json::parse(res->body)["code"], 0) << c.status;
  }
  EXPECT_EQ(Status(Client().Get("/nothing/here")), 404);
  EXPECT_EQ(Data(ShortQuery("2.1.0", "U"))["action"], "31");
  EXPECT_EQ(store_->CountCheckins(), 1);  // refused queries are no check-ins
  const json requests = Requests();
  ASSERT_EQ(requests.size(), 6u);  // refused ones are recorded too
  EXPECT_TRUE(requests[0]["decoded"].is_null());
}

TEST_F(UpdateServerTest, ScriptedFaultsChangeTheFollowingAnswersInOrder) {
  AddFaults(R"([{"status":500,"body":""}, {"on":"package","status":403},
                {"body":"{\"code\":1,\"message\":\"\",\"data\":{\"action\":\"99\"}}"},
                {"delay_ms":400}, {"drop":true}, {"omit_headers":["Content-Length","Content-Type"]}])");
  auto res = PostUpdate(ShortQuery("2.0.0", "U"));
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 500);
  EXPECT_EQ(res->body, "");
  EXPECT_EQ(Data(ShortQuery("2.0.0", "U"))["action"], "99");

  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Data(ShortQuery("2.0.0", "U"))["action"], "33");
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(400));
  EXPECT_FALSE(PostUpdate(ShortQuery("2.0.0", "U")));

  // Without a length the answer ends with the connection; it must end at once.
  start = std::chrono::steady_clock::now();
  res = PostUpdate(ShortQuery("2.0.0", "U"));
  ASSERT_TRUE(res);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_FALSE(res->has_header("Content-Length"));
  EXPECT_FALSE(res->has_header("Content-Type"));
  EXPECT_EQ(json::parse(res->body)["data"]["action"], "33");

  // The package fault waited for a package request; the update script is used up.
  EXPECT_EQ(Status(Client().Get(kPackage, {{"Range", "bytes=0-9"}})), 403);
  EXPECT_EQ(Status(Client().Get(kPackage, {{"Range", "bytes=0-9"}})), 206);
  EXPECT_EQ(Status(PostUpdate(ShortQuery("2.0.0", "U"))), 200);
}

TEST_F(UpdateServerTest, BadFaultScriptsAreRefusedAndResetClearsEverything) {
  auto res = Client().Post("/_test/faults", R"([{"stauts":500}])", "application/json");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 400);
  EXPECT_NE(json::parse(res->body)["message"].get<std::string>().find("stauts"), std::string::npos);

  AddFaults(R"([{"status":503}])");
  ASSERT_TRUE(Client().Post("/_test/reset", "", "application/json"));
  EXPECT_TRUE(Requests().empty());
  EXPECT_EQ(Status(PostUpdate(ShortQuery("2.0.0", "U"))), 200);
}

TEST_F(UpdateServerTest, ServesPackagesInTheRangesTheProgramAsksFor) {
  auto client = Client();
  auto res = client.Get(kPackage);
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  EXPECT_EQ(res->body, package_);
  EXPECT_EQ(res->get_header_value("Accept-Ranges"), "bytes");

  // Each range ends one byte past the last one of the previous answer, the final one past the end.
  res = client.Get(kPackage, {{"Range", "bytes=1048576-2097152"}});
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 206);
  EXPECT_EQ(res->get_header_value("Content-Range"), "bytes 1048576-2097152/3000000");
  EXPECT_EQ(res->body, package_.substr(1048576, 1048577));
  res = client.Get(kPackage, {{"Range", "bytes=2097152-3000000"}});
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 206);
  EXPECT_EQ(res->get_header_value("Content-Range"), "bytes 2097152-2999999/3000000");
  EXPECT_EQ(res->body, package_.substr(2097152));

  res = client.Get(kPackage, {{"Range", "bytes=3000000-4048576"}});
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 416);
  EXPECT_EQ(res->get_header_value("Content-Range"), "bytes */3000000");
  EXPECT_EQ(res->body, "");

  for (const char* name : {"missing.exe", "..%2Fcatalog.json", "%2E%2E"}) {
    res = client.Get(std::string("/packages/") + name);
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 404) << name;
  }
}

TEST_F(UpdateServerTest, ReadsTheCatalogAgainAfterAPublishButKeepsTheLastGoodOne) {
  ASSERT_EQ(Data(ShortQuery("2.1.0", "U"))["action"], "31");
  std::string error;
  Catalog catalog = *LoadCatalog(dir_.File("catalog.json"), error);
  PublishEntry(catalog, {"2.2.0", "http://x/2.2.0.exe", 99, std::string(32, 'b'), true, ""}, true);
  SaveCatalog(catalog);
  EXPECT_EQ(Data(ShortQuery("2.1.0", "U"))["updateinfo"]["ver"], "2.2.0");

  dir_.Write("catalog.json", "{ broken");
  EXPECT_EQ(Data(ShortQuery("2.1.0", "U"))["updateinfo"]["ver"], "2.2.0");
}

TEST_F(UpdateServerTest, AsksForTheFullProfileWhenTheRecordsAreTooOld) {
  std::string error;
  Catalog catalog = *LoadCatalog(dir_.File("catalog.json"), error);
  catalog.policy.full_profile_every_days = 30;
  SaveCatalog(catalog);
  EXPECT_EQ(Data(ShortQuery("2.1.0", "U-7"))["action"], "32");  // never seen
  EXPECT_EQ(Data(test::FullQuery("2.1.0", "U-7", "wps", "11"))["action"], "31");
  EXPECT_EQ(Data(ShortQuery("2.1.0", "U-7"))["action"], "31");  // profile is fresh
  EXPECT_EQ(Data(ShortQuery("2.1.0", "U-8"))["action"], "32");  // another installation
}

class UpdateServerInServiceTest : public UpdateServerTest {
 protected:
  void SetUp() override { Start(false); }
};

TEST_F(UpdateServerInServiceTest, HasNoTestRoutes) {
  EXPECT_EQ(Status(Client().Get("/_test/requests")), 404);
  EXPECT_EQ(Status(Client().Post("/_test/faults", R"([{"drop":true}])", "application/json")), 404);
  EXPECT_EQ(Data(ShortQuery("2.0.0", "U"))["action"], "33");
}

TEST(FaultScript, RefusesScriptsThatWouldSilentlyDoSomethingElse) {
  for (const char* text :
       {"", "[1]", R"([{"status":"500"}])", R"([{"status":99}])", R"([{"status":4294967496}])",
        R"([{"delay_ms":600001}])", R"([{"drop":1}])", R"([{"on":"both"}])",
        R"([{"omit_headers":["Bad Name"]}])", R"([{"headers":[["X-A","a\r\nX-Injected: 1"]]}])",
        R"([{"status":500},{"drop":"yes"}])"}) {
    std::vector<Fault> faults;
    EXPECT_NE(ParseFaults(text, faults), "") << text;
    EXPECT_TRUE(faults.empty()) << text;
  }
}

}  // namespace
}  // namespace zel::svc
