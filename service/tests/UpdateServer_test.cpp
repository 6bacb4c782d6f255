// The service on loopback, driven over real HTTP, and the byte ranges it serves.
#include "UpdateServer.h"

#include <sqlite3.h>

#include "ByteRange.h"
#include "TestSupport.h"

namespace zel::svc::test {
namespace {

TEST(ByteRange, AnswersTheRangesOfTheProgramAndOfOtherClients) {
  // Header, file size, answer, Content-Range of partial and unsatisfiable answers, length.
  const std::tuple<const char*, std::int64_t, RangeChoice::Kind, const char*, std::int64_t> cases[] = {
      // The program's requests: the last byte asked for is one past the previous answer's.
      {"bytes=0-1048576", 3000000, RangeChoice::kPartial, "bytes 0-1048576/3000000", 1048577},
      {"bytes=2097152-3000000", 3000000, RangeChoice::kPartial, "bytes 2097152-2999999/3000000", 902848},
      {"bytes=1048575-1048576", 1048576, RangeChoice::kPartial, "bytes 1048575-1048575/1048576", 1},
      {"bytes=1048576-2097152", 1048576, RangeChoice::kUnsatisfiable, "bytes */1048576", 0},
      {"bytes=-30", 100, RangeChoice::kPartial, "bytes 70-99/100", 30},
      {"bytes=-300", 100, RangeChoice::kPartial, "bytes 0-99/100", 100},
      {"bytes=0-", 0, RangeChoice::kUnsatisfiable, "bytes */0", 0},
      // Numbers too large for 64 bits stand past the end of any file.
      {"bytes=0-99999999999999999999", 100, RangeChoice::kPartial, "bytes 0-99/100", 100},
      {"bytes=-99999999999999999999", 100, RangeChoice::kPartial, "bytes 0-99/100", 100},
      {"bytes=99999999999999999999-", 100, RangeChoice::kUnsatisfiable, "bytes */100", 0},
      // The unit in any case, blanks around the list's elements, empty list elements.
      {"Bytes=0-9", 100, RangeChoice::kPartial, "bytes 0-9/100", 10},
      {" BYTES=10-19 ", 100, RangeChoice::kPartial, "bytes 10-19/100", 10},
      {"bytes=\t, 20-29 ,", 100, RangeChoice::kPartial, "bytes 20-29/100", 10},
  };
  for (const auto& [header, size, kind, contentRange, length] : cases) {
    const RangeChoice r = ChooseRange(header, size);
    EXPECT_EQ(r.kind, kind) << header;
    EXPECT_EQ(r.length, length) << header;
    EXPECT_EQ(ContentRangeValue(r, size), contentRange) << header;
  }
  // Several ranges, and headers invalid or of another unit, are ignored: the whole file.
  for (const char* header :
       {"", "bytes=0-1,5-6", "bytes=200-100", "bytes=abc", "bytes=", "bytes=-", "bytes=1-2-3", "bytes=+1-5",
        "bytes=1 - 5", "bytes=0x10-20", "bytes 0-9", "bytes =0-9", "items=0-9"}) {
    const RangeChoice r = ChooseRange(header, 100);
    EXPECT_TRUE(r.kind == RangeChoice::kWhole && r.first == 0 && r.length == 100) << header;
  }
}

// With test control, and keys to sign for the queries that name one.
class UpdateServerTest : public ServiceFixture {
 protected:
  void SetUp() override {
    auto keys = std::make_shared<KeyRing>();
    std::string error;
    for (KeyKind kind : {KeyKind::kEcdsaP256, KeyKind::kRsa3072})
      ASSERT_TRUE(keys->Add(TestKey(kind), error));
    config_.keys = keys;
    config_.testControl = true;
    Start();
  }
};

// Refused requests get JSON too, are recorded and leave the service serving; only
// answered queries are check-ins.
TEST_F(UpdateServerTest, AnswersQueriesRefusesBadRequestsAndRecordsCheckinsAndRequests) {
  const std::tuple<const char*, std::string, int> cases[] = {
      {"/zelguard/update1", "size=6&checksum=0&zip=0&data=61626", 400},
      {"/zelguard/update1", MakeBody("AppVer=" + HexEncodeText("beta") + "&ExecutionLevel=30", false), 400},
      {"/zelguard/update1", std::string(kMaxBodyBytes + 1, 'a'), 413},
      {"/elsewhere", MakeBody(ShortQuery("2.0.0", "U"), false), 404},
  };
  for (const auto& [target, body, status] : cases) {  // NOLINT
    auto res = client_->Post(target, body, kForm);
    EXPECT_EQ(Status(res), status);
    EXPECT_EQ(Json(res)["code"], 0) << status;
  }
  // From a peer that is no configured proxy, forwarding headers are the client's word.
  auto res = client_->Post("/zelguard/update1", {{"X-Forwarded-For", "203.0.113.9"}},
                           MakeBody(ShortQuery("2.0.0", "U-1"), false), kForm);
  ASSERT_EQ(Status(res), 200);
  EXPECT_EQ(res->get_header_value("Content-Type"), "application/json; charset=utf-8");
  EXPECT_EQ(Json(res)["data"]["updateinfo"]["packageurl"], HexEncodeText("http://h/p.exe"));
  EXPECT_EQ(Data(FullQuery("2.1.0", "U-2", "excel", "16"), true)["action"], "31");

  EXPECT_EQ(Column(*store_, "SELECT uuid || ' ' || full_profile || ' ' || remote_addr FROM checkins"),
            (std::set<std::string>{"U-1 0 127.0.0.1", "U-2 1 127.0.0.1"}));
  const json requests = Requests();
  ASSERT_EQ(requests.size(), 6u);
  EXPECT_TRUE(requests[0]["decoded"].is_null());
  EXPECT_EQ(requests[4]["target"], "/zelguard/update1");
  EXPECT_EQ(requests[4]["body"], MakeBody(ShortQuery("2.0.0", "U-1"), false));
  EXPECT_EQ(requests[4]["query"], ShortQuery("2.0.0", "U-1"));
  EXPECT_EQ(requests[5]["decoded"]["OSName"], "Microsoft Windows 10 专业版");
  EXPECT_NE(requests[4]["headers"].dump().find(R"(["Content-Type","application/x-www-form-urlencoded"])"),
            -1);
}

// A script that is refused is taken not even in part; reset clears the script and the
// recorded requests.
TEST_F(UpdateServerTest, ScriptedFaultsChangeTheFollowingAnswersInOrderUntilReset) {
  for (const char* text :
       {"", "[1]", R"([{"stauts":500}])", R"([{"status":"500"}])", R"([{"status":99}])",
        R"([{"status":4294967496}])", R"([{"delay_ms":600001}])", R"([{"drop":1}])", R"([{"on":"both"}])",
        R"([{"omit_headers":["Bad Name"]}])", R"([{"headers":[["X-A","a\r\nX-Injected: 1"]]}])",
        R"([{"status":502},{"drop":"yes"}])"})
    EXPECT_EQ(AddFaults(text), 400) << text;
  ASSERT_EQ(AddFaults(R"([{"status":500,"body":""}, {"on":"package","status":403},
                {"body":"{\"code\":1,\"message\":\"\",\"data\":{\"action\":\"99\"}}"},
                {"delay_ms":400}, {"drop":true}, {"omit_headers":["Content-Length","Content-Type"]}])"),
            200);
  auto res = PostUpdate(ShortQuery("2.0.0", "U"));
  EXPECT_EQ(Status(res), 500);
  EXPECT_EQ(res->body, "");
  EXPECT_EQ(Data(ShortQuery("2.0.0", "U"))["action"], "99");
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Data(ShortQuery("2.0.0", "U"))["action"], "33");
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(400));
  EXPECT_FALSE(PostUpdate(ShortQuery("2.0.0", "U")));

  // Without a length the answer ends with the connection; it must end at once.
  start = std::chrono::steady_clock::now();
  res = PostUpdate(ShortQuery("2.0.0", "U"));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_EQ(Json(res)["data"]["action"], "33");
  EXPECT_FALSE(res->has_header("Content-Length") || res->has_header("Content-Type"));

  // The package fault waited for a package request; the update script is used up.
  EXPECT_EQ(Status(client_->Get(kPackage, {{"Range", "bytes=0-9"}})), 403);
  EXPECT_EQ(Status(client_->Get(kPackage, {{"Range", "bytes=0-9"}})), 206);
  EXPECT_EQ(Status(PostUpdate(ShortQuery("2.0.0", "U"))), 200);
  ASSERT_EQ(AddFaults(R"([{"status":503}])"), 200);
  ASSERT_EQ(Status(client_->Post("/_test/reset", "", "application/json")), 200);
  EXPECT_TRUE(Requests().empty());
  EXPECT_EQ(Status(PostUpdate(ShortQuery("2.0.0", "U"))), 200);
}

TEST_F(UpdateServerTest, ServesPackagesInTheRangesTheProgramAsksFor) {
  // The program's last ranges end one byte past the end; no header gets the whole package.
  const std::tuple<const char*, int, const char*, std::size_t, std::size_t> cases[] = {
      {"", 200, "", 0, 3000000},
      {"bytes=2097152-3000000", 206, "bytes 2097152-2999999/3000000", 2097152, 902848},
      {"bytes=3000000-4048576", 416, "bytes */3000000", 0, 0}};
  for (const auto& [range, status, content_range, first, length] : cases) {
    auto res = *range ? client_->Get(kPackage, {{"Range", range}}) : client_->Get(kPackage);
    ASSERT_EQ(Status(res), status) << range;
    EXPECT_EQ(res->get_header_value("Accept-Ranges"), "bytes");
    EXPECT_EQ(res->get_header_value("Content-Range"), content_range);
    EXPECT_EQ(res->body, package_.substr(first, length)) << range;
  }
  for (const char* name : {"missing.exe", "..%2Fcatalog.json", "%2E%2E"})
    EXPECT_EQ(Status(client_->Get(std::string("/packages/") + name)), 404) << name;
}

// A published version and a policy that wants full profiles no older than 30 days
// are served without a restart.
TEST_F(UpdateServerTest, ServesAChangedCatalogWithoutARestart) {
  PublishEntry(catalog_, {"2.2.0", "http://x/2.2.0.exe", 99, std::string(32, 'b'), true, "", ""}, true);
  catalog_.policy.fullProfileEveryDays = 30;
  SaveCatalog();
  EXPECT_TRUE(Eventually(
      [&] { return Data(FullQuery("2.1.0", "U-7", "wps", "11"))["updateinfo"]["ver"] == "2.2.0"; }));
  EXPECT_EQ(Data(ShortQuery("2.1.0", "U-7"))["action"], "33");  // its full profile is fresh
  EXPECT_EQ(Data(ShortQuery("2.1.0", "U-8"))["action"], "32");  // never seen with its full profile
}

// As operators run it: behind a proxy of theirs, with the admin listener.
class OperatedServerTest : public ServiceFixture {
 protected:
  void SetUp() override {
    config_.trustedProxies = {"::1", "127.0.0.1"};
    config_.adminPort = 0;
    catalog_.policy.updateUrl = "http://plain.example/zelguard/update1";
    Start();
    admin_ = std::make_unique<httplib::Client>("127.0.0.1", server_->AdminPort());
  }
  httplib::Result Forwarded(const std::string& uuid, const std::string& forwardedFor, const std::string& proto) {
    return client_->Post("/zelguard/update1", {{"X-Forwarded-For", forwardedFor}, {"X-Forwarded-Proto", proto}},
                         MakeBody(ShortQuery("2.0.0", uuid), false), kForm);
  }
  // The admin listener's answer as "STATUS BODY".
  std::string Admin(const std::string& path) {
    auto res = admin_->Get(path);
    return res ? std::to_string(res->status) + " " + res->body : "";
  }
  std::unique_ptr<httplib::Client> admin_;
};

// The client is the last address the proxy did not add itself, and an https client is
// never moved to http; the admin listener counts answers and reports a store that takes
// no writes.
TEST_F(OperatedServerTest, TakesTheClientFromTheProxyAndReportsOnTheAdminListener) {
  // What the client claimed before that address is ignored.
  auto res = Forwarded("A", "198.51.100.7, 203.0.113.9, 127.0.0.1", "https");
  EXPECT_EQ(Json(res)["data"]["action"], "33");
  EXPECT_FALSE(Json(res)["data"].contains("updateurl"));
  EXPECT_EQ(Json(Forwarded("B", "2001:db8::0001", "http"))["data"]["updateurl"],
            HexEncodeText("http://plain.example/zelguard/update1"));
  Forwarded("C", "not an address", "http");
  EXPECT_EQ(Column(*store_, "SELECT uuid || ' ' || remote_addr FROM checkins"),
            (std::set<std::string>{"A 203.0.113.9", "B 2001:db8::1", "C 127.0.0.1"}));
  EXPECT_EQ(Data(ShortQuery("2.1.0", "U"))["action"], "31");
  EXPECT_EQ(Status(client_->Post("/zelguard/update1", "size=1", kForm)), 400);
  const std::string metrics = Admin("/metrics");
  for (const char* line :
       {"zelupdate_answers_total{action=\"33\"} 3\n", "zelupdate_answers_total{action=\"31\"} 1\n",
        "zelupdate_try_again_total{reason=\"budget\"} 0\n", "zelupdate_commit_seconds_count 4\n",
        "zelupdate_checkin_queue_depth 0\n", "zelupdate_store_errors_total 0\n",
        "zelupdate_catalog_info{latest=\"2.1.0\"} 1\n"})
    EXPECT_NE(metrics.find(line), std::string::npos) << line << metrics;
  EXPECT_TRUE(Eventually([&] {
    return Admin("/metrics").find("zelupdate_responses_total{status=\"4xx\"} 1\n") != std::string::npos;
  }));
  EXPECT_EQ(Status(client_->Get("/metrics")), 404);  // never on the public port
  EXPECT_EQ(AddFaults(R"([{"drop":true}])"), 404);   // nor test routes without test control

  EXPECT_THAT(Admin("/healthz"), ::testing::StartsWith("200 "));
  sqlite3* locker = nullptr;
  ASSERT_EQ(sqlite3_open(dir_.File("checkins.db").c_str(), &locker), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(locker, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
  EXPECT_THAT(Admin("/healthz"), ::testing::AllOf(::testing::StartsWith("503 "),
                                                  ::testing::HasSubstr("store: sqlite: database is locked")));
  // A locked store is answered "try again" within the budget, and nothing is stored.
  EXPECT_EQ(Data(ShortQuery("2.0.0", "V"))["action"], "32");
  EXPECT_NE(Admin("/metrics").find("zelupdate_store_errors_total 1\n"), std::string::npos);
  sqlite3_exec(locker, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(locker);
  EXPECT_THAT(Admin("/healthz"), ::testing::StartsWith("200 "));
  EXPECT_EQ(Data(ShortQuery("2.0.0", "V"))["action"], "33");
  EXPECT_EQ(Checkins("uuid = 'V'"), 1);
}

TEST_F(UpdateServerTest, EveryUpdateAnswerIsSignedOverTheBytesAsSentWithTheKeyTheQueryNames) {
  static constexpr const char* kNonce = "00112233445566778899aabbccddeeff";
  const std::string offer = MakeBody(FullQuery("2.0.0", "U", "wps", "11"), true);
  ASSERT_EQ(AddFaults(R"([{"status":500,"body":"scripted"},{"omit_headers":["X-Zel-Signature"]}])"), 200);
  // Key, body, status, signed: a scripted answer is signed as it goes out, unless the
  // script leaves the signature out; a refusal is signed as well.
  const std::tuple<KeyKind, std::string, int, bool> cases[] = {
      {KeyKind::kEcdsaP256, offer, 500, true},
      {KeyKind::kEcdsaP256, offer, 200, false},
      {KeyKind::kEcdsaP256, offer, 200, true},
      {KeyKind::kRsa3072, MakeBody(ShortQuery("2.1.0", "U"), false), 200, true},
      {KeyKind::kRsa3072, "size=2&checksum=0&zip=0&data=4", 400, true}};
  std::string signedOffer;
  for (const auto& [kind, body, status, isSigned] : cases) {
    const auto key = TestKey(kind);
    auto res = client_->Post("/zelguard/update1",
                             {{"X-Zel-Key-Id", "ffffffffffffffff," + key->Id()}, {"X-Zel-Nonce", kNonce}},
                             body, kForm);
    ASSERT_EQ(Status(res), status);
    const std::string signature = res->get_header_value("X-Zel-Signature");
    EXPECT_TRUE(isSigned ? Verifies(key->PublicKeyLine(), signature, kNonce, body, res->body)
                         : signature.empty())
        << KeyKindName(kind) << " " << status << " " << res->body;
    if (status == 200 && body == offer) signedOffer = res->body;
  }
  // A program built without keys gets the same answer, unsigned.
  auto res = client_->Post("/zelguard/update1", offer, kForm);
  EXPECT_FALSE(res->has_header("X-Zel-Signature"));
  EXPECT_EQ(res->body, signedOffer);
}

}  // namespace
}  // namespace zel::svc::test
