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
using test::ScratchDir;

constexpr const char* kForm = "application/x-www-form-urlencoded";

std::string PatternBytes(std::size_t n) {
  std::string bytes(n, '\0');
  for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return bytes;
}

class UpdateServerTest : public ::testing::Test {
 protected:
  void SetUp() override { Start(true); }
  void TearDown() override { StopServer(); }

  void Start(bool test_control) {
    std::string error;
    store_ = CheckinStore::Open(dir_.File("checkins.db"), error);
    ASSERT_TRUE(store_) << error;
    std::filesystem::create_directories(dir_.path() / "packages");
    package_ = PatternBytes(3000000);
    dir_.Write("packages/zel-2.1.0.exe", package_);

    Catalog catalog;
    PublishEntry(catalog, {"2.0.0", "http://old/zel-2.0.0.exe", 10, std::string(32, 'A'), true, ""}, true);
    PublishEntry(catalog,
                 {"2.1.0", "http://127.0.0.1/packages/zel-2.1.0.exe", 3000000,
                  "0123456789abcdef0123456789ABCDEF", false, ""},
                 true);
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

  void StopServer() {
    if (!server_) return;
    server_->Stop();
    thread_.join();
    server_.reset();
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

  ScratchDir dir_;
  std::string package_;
  std::unique_ptr<CheckinStore> store_;
  std::unique_ptr<UpdateServer> server_;
  std::thread thread_;
  int port_ = 0;
};

TEST_F(UpdateServerTest, AnswersQueriesAndRecordsCheckins) {
  auto res = PostUpdate(test::ShortQuery("2.0.0", "U-1"));
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  EXPECT_EQ(res->get_header_value("Content-Type"), "application/json; charset=utf-8");
  const json answer = json::parse(res->body);
  EXPECT_EQ(answer["code"], 1);
  EXPECT_EQ(answer["data"]["action"], "33");
  EXPECT_EQ(answer["data"]["updateinfo"]["size"], 3000000);
  EXPECT_EQ(HexDecodeText(answer["data"]["updateinfo"]["packageurl"].get<std::string>()),
            "http://127.0.0.1/packages/zel-2.1.0.exe");

  // A compressed query with the full profile, from an installation that is current.
  res = PostUpdate(test::FullQuery("2.1.0", "U-2", "excel", "16"), true);
  ASSERT_TRUE(res);
  EXPECT_EQ(json::parse(res->body)["data"]["action"], "31");

  EXPECT_EQ(store_->CountCheckins(), 2);
  const json requests = Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0]["method"], "POST");
  EXPECT_EQ(requests[0]["target"], "/zelguard/update1");
  EXPECT_EQ(requests[0]["body"], MakeBody(test::ShortQuery("2.0.0", "U-1"), false));
  EXPECT_EQ(requests[0]["decoded"]["UUID"], "U-1");
  EXPECT_EQ(requests[0]["query"], test::ShortQuery("2.0.0", "U-1"));
  EXPECT_EQ(requests[1]["decoded"]["OSName"], "Microsoft Windows 10 专业版");
  bool has_content_type = false;
  for (const auto& header : requests[0]["headers"]) {
    EXPECT_NE(header[0], "REMOTE_ADDR");
    if (header[0] == "Content-Type") has_content_type = header[1] == kForm;
  }
  EXPECT_TRUE(has_content_type);
}

TEST_F(UpdateServerTest, RefusesBadRequestsWithJsonAndKeepsServing) {
  auto res = Client().Post("/zelguard/update1", "size=6&checksum=0&zip=0&data=61626", kForm);
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 400);
  EXPECT_EQ(json::parse(res->body)["code"], 0);

  res = Client().Post("/zelguard/update1",
                      MakeBody("AppVer=" + HexEncodeText("beta") + "&ExecutionLevel=30", false), kForm);
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 400);

  res = Client().Post("/zelguard/update1", std::string(kMaxBodyBytes + 1, 'a'), kForm);
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 413);
  EXPECT_EQ(json::parse(res->body)["code"], 0);

  res = Client().Post("/elsewhere", MakeBody(test::ShortQuery("2.0.0", "U"), false), kForm);
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 404);
  EXPECT_EQ(json::parse(res->body)["code"], 0);

  res = Client().Get("/nothing/here");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 404);

  res = PostUpdate(test::ShortQuery("2.1.0", "U"));
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  EXPECT_EQ(store_->CountCheckins(), 1);  // refused queries are no check-ins

  const json requests = Requests();
  ASSERT_EQ(requests.size(), 6u);  // refused ones are recorded too
  EXPECT_TRUE(requests[0]["decoded"].is_null());
  EXPECT_EQ(requests[4]["method"], "GET");
}

TEST_F(UpdateServerTest, FaultsChangeTheFollowingUpdateAnswersInOrder) {
  AddFaults(R"([{"status":500,"body":""},
                {"body":"{\"code\":1,\"message\":\"\",\"data\":{\"action\":\"99\"}}"},
                {"headers":[["X-Extra","yes"],["Content-Type","text/html"]]}])");
  auto res = PostUpdate(test::ShortQuery("2.0.0", "U"));
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 500);
  EXPECT_EQ(res->body, "");

  res = PostUpdate(test::ShortQuery("2.0.0", "U"));
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  EXPECT_EQ(json::parse(res->body)["data"]["action"], "99");

  res = PostUpdate(test::ShortQuery("2.0.0", "U"));
  ASSERT_TRUE(res);
  EXPECT_EQ(res->get_header_value("X-Extra"), "yes");
  EXPECT_EQ(res->get_header_value("Content-Type"), "text/html");
  EXPECT_EQ(res->get_header_value_count("Content-Type"), 1u);

  res = PostUpdate(test::ShortQuery("2.0.0", "U"));  // the script is used up
  ASSERT_TRUE(res);
  EXPECT_EQ(json::parse(res->body)["data"]["action"], "33");
}

TEST_F(UpdateServerTest, FaultsDelayDropAndOmitHeaders) {
  AddFaults(R"([{"delay_ms":400},{"drop":true},{"omit_headers":["Content-Length","Content-Type"]}])");
  const auto start = std::chrono::steady_clock::now();
  auto res = PostUpdate(test::ShortQuery("2.0.0", "U"));
  ASSERT_TRUE(res);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(400));
  EXPECT_EQ(res->status, 200);

  res = PostUpdate(test::ShortQuery("2.0.0", "U"));
  EXPECT_FALSE(res);

  // Without a length the answer ends with the connection; it must end at once.
  const auto before_unframed = std::chrono::steady_clock::now();
  res = PostUpdate(test::ShortQuery("2.0.0", "U"));
  ASSERT_TRUE(res);
  EXPECT_LT(std::chrono::steady_clock::now() - before_unframed, std::chrono::seconds(2));
  EXPECT_FALSE(res->has_header("Content-Length"));
  EXPECT_FALSE(res->has_header("Content-Type"));
  EXPECT_EQ(json::parse(res->body)["data"]["action"], "33");
}

TEST_F(UpdateServerTest, BadFaultScriptsAreRefusedAndResetClearsEverything) {
  auto res = Client().Post("/_test/faults", R"([{"stauts":500}])", "application/json");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 400);
  EXPECT_NE(json::parse(res->body)["message"].get<std::string>().find("stauts"), std::string::npos);

  AddFaults(R"([{"status":503}])");
  ASSERT_TRUE(Client().Post("/_test/reset", "", "application/json"));
  EXPECT_TRUE(Requests().empty());
  res = PostUpdate(test::ShortQuery("2.0.0", "U"));
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
}

TEST_F(UpdateServerTest, ServesPackagesInTheRangesTheProgramAsksFor) {
  auto client = Client();
  auto whole = client.Get("/packages/zel-2.1.0.exe");
  ASSERT_TRUE(whole);
  EXPECT_EQ(whole->status, 200);
  EXPECT_EQ(whole->body, package_);
  EXPECT_EQ(whole->get_header_value("Accept-Ranges"), "bytes");

  // The program's sequence for a 3000000-byte package: each range ends one byte
  // past the last one of the previous answer, the final one past the end.
  struct Step {
    const char* range;
    const char* content_range;
    std::size_t first, length;
  };
  const Step steps[] = {{"bytes=0-1048576", "bytes 0-1048576/3000000", 0, 1048577},
                        {"bytes=1048576-2097152", "bytes 1048576-2097152/3000000", 1048576, 1048577},
                        {"bytes=2097152-3000000", "bytes 2097152-2999999/3000000", 2097152, 902848}};
  for (const Step& step : steps) {
    auto res = client.Get("/packages/zel-2.1.0.exe", {{"Range", step.range}});
    ASSERT_TRUE(res) << step.range;
    EXPECT_EQ(res->status, 206);
    EXPECT_EQ(res->get_header_value("Content-Range"), step.content_range);
    EXPECT_EQ(res->body, package_.substr(step.first, step.length)) << step.range;
  }

  auto past = client.Get("/packages/zel-2.1.0.exe", {{"Range", "bytes=3000000-4048576"}});
  ASSERT_TRUE(past);
  EXPECT_EQ(past->status, 416);
  EXPECT_EQ(past->get_header_value("Content-Range"), "bytes */3000000");
  EXPECT_EQ(past->body, "");

  for (const char* name : {"missing.exe", "..%2Fcatalog.json", "%2E%2E"}) {
    auto res = client.Get(std::string("/packages/") + name);
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 404) << name;
  }
  EXPECT_EQ(Requests()[1]["headers"].dump().find("bytes=0-1048576") != std::string::npos, true);
}

TEST_F(UpdateServerTest, PackageFaultsBreakDownloads) {
  AddFaults(R"([{"on":"package","omit_headers":["Content-Range"]},
                {"on":"package","status":403},
                {"on":"package","body":"short"}])");
  auto client = Client();
  auto res = client.Get("/packages/zel-2.1.0.exe", {{"Range", "bytes=0-1048576"}});
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 206);
  EXPECT_FALSE(res->has_header("Content-Range"));
  EXPECT_EQ(res->body.size(), 1048577u);

  res = client.Get("/packages/zel-2.1.0.exe", {{"Range", "bytes=0-1048576"}});
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 403);

  res = client.Get("/packages/zel-2.1.0.exe", {{"Range", "bytes=0-1048576"}});
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  EXPECT_EQ(res->body, "short");

  // Update faults are not used up by package requests, nor the reverse.
  res = PostUpdate(test::ShortQuery("2.0.0", "U"));
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
}

TEST_F(UpdateServerTest, ReadsTheCatalogAgainAfterAPublish) {
  ASSERT_EQ(json::parse(PostUpdate(test::ShortQuery("2.1.0", "U"))->body)["data"]["action"], "31");

  std::string error;
  Catalog catalog = *LoadCatalog(dir_.File("catalog.json"), error);
  PublishEntry(catalog, {"2.2.0", "http://x/2.2.0.exe", 99, std::string(32, 'b'), true, ""}, true);
  catalog.policy.update_url = "http://new.example/zelguard/update1";
  SaveCatalog(catalog);
  json answer = json::parse(PostUpdate(test::ShortQuery("2.1.0", "U"))->body);
  EXPECT_EQ(answer["data"]["updateinfo"]["ver"], "2.2.0");
  EXPECT_EQ(answer["data"]["updateinfo"]["reinstall"], 1);
  EXPECT_EQ(HexDecodeText(answer["data"]["updateurl"].get<std::string>()),
            "http://new.example/zelguard/update1");

  // A broken catalog leaves the last good one in service.
  dir_.Write("catalog.json", "{ broken");
  answer = json::parse(PostUpdate(test::ShortQuery("2.1.0", "U"))->body);
  EXPECT_EQ(answer["data"]["updateinfo"]["ver"], "2.2.0");
}

TEST_F(UpdateServerTest, AsksForTheFullProfileWhenTheRecordsAreTooOld) {
  std::string error;
  Catalog catalog = *LoadCatalog(dir_.File("catalog.json"), error);
  catalog.policy.full_profile_every_days = 30;
  SaveCatalog(catalog);

  auto action = [this](const std::string& query) {
    return json::parse(PostUpdate(query)->body)["data"]["action"].get<std::string>();
  };
  EXPECT_EQ(action(test::ShortQuery("2.1.0", "U-7")), "32");  // never seen
  EXPECT_EQ(action(test::FullQuery("2.1.0", "U-7", "wps", "11")), "31");
  EXPECT_EQ(action(test::ShortQuery("2.1.0", "U-7")), "31");  // profile is fresh
  EXPECT_EQ(action(test::ShortQuery("2.1.0", "U-8")), "32");  // another installation
}

class UpdateServerInServiceTest : public UpdateServerTest {
 protected:
  void SetUp() override { Start(false); }
};

TEST_F(UpdateServerInServiceTest, HasNoTestRoutes) {
  auto res = Client().Get("/_test/requests");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 404);
  res = Client().Post("/_test/faults", R"([{"drop":true}])", "application/json");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 404);
  res = PostUpdate(test::ShortQuery("2.0.0", "U"));
  ASSERT_TRUE(res);
  EXPECT_EQ(json::parse(res->body)["data"]["action"], "33");
}

}  // namespace
}  // namespace zel::svc
