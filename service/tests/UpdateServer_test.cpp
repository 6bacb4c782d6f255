// The service on loopback, driven over real HTTP by well-behaved and hostile clients,
// and the byte ranges it serves.
#include "UpdateServer.h"

#include <sqlite3.h>

#include <atomic>

#include "AccessLog.h"
#include "ByteRange.h"
#include "CheckinWriter.h"
#include "TestSupport.h"

namespace zel::svc::test {
namespace {

// Ranges as the program and other clients ask for them; what clients send reaches the
// access log escaped.
TEST(ByteRange, AnswersTheRangesOfTheProgramAndOfOtherClientsAndTheLogEscapesThem) {
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
  EXPECT_EQ(EscapeForLog("GET /a b"), "GET /a b");
  EXPECT_EQ(EscapeForLog("/x\r\n200 OK \x1b[2J\"\\\xe4\xb8\xad"),
            "/x\\x0D\\x0A200 OK \\x1B[2J\\\"\\\\\\xE4\\xB8\\xAD");
}

// With test control, and keys to sign for the queries that name one.
class UpdateServerTest : public ServiceFixture {
 protected:
  void SetUp() override {
    auto keys = std::make_shared<KeyRing>();
    std::string error;
    ASSERT_TRUE(keys->Add(TestKey(KeyKind::kEcdsaP256), error) &&
                keys->Add(TestKey(KeyKind::kRsa3072), error));
    config_.keys = keys;
    config_.testControl = true;
    Start();
  }
};

// Refused requests get JSON too, are recorded and leave the service serving; only
// answered queries are check-ins.
TEST_F(UpdateServerTest, AnswersQueriesRefusesBadRequestsRecordsCheckinsAndRequestsAndFollowsScriptedFaults) {
  const std::tuple<const char*, std::string, int> cases[] = {
      {"/zelguard/update1", "size=6&checksum=0&zip=0&data=61626", 400},
      {"/zelguard/update1", MakeBody("AppVer=" + HexEncodeText("beta") + "&ExecutionLevel=30", false), 400},
      {"/zelguard/update1", std::string(kMaxBodyBytes + 1, 'a'), 413},
      {"/elsewhere", MakeBody(ShortQuery("2.0.0", "U"), false), 404},
  };
  for (const auto& [target, body, status] : cases) {  // NOLINT
    auto res = client_->Post(target, body, kForm);
    EXPECT_TRUE(Status(res) == status && Json(res)["code"] == 0) << status << " " << Status(res);
  }
  // From a peer that is no configured proxy, forwarding headers are the client's word.
  auto res = client_->Post("/zelguard/update1", {{"X-Forwarded-For", "203.0.113.9"}},
                           MakeBody(ShortQuery("2.0.0", "U-1"), false), kForm);
  ASSERT_EQ(Status(res), 200);
  EXPECT_EQ(res->get_header_value("Content-Type"), "application/json; charset=utf-8");
  EXPECT_EQ(Data(FullQuery("2.1.0", "U-2", "excel", "16"), true)["action"], "31");

  EXPECT_EQ(Column(*store_, "SELECT uuid || ' ' || full_profile || ' ' || remote_addr FROM checkins"),
            (std::set<std::string>{"U-1 0 127.0.0.1", "U-2 1 127.0.0.1"}));
  const json requests = Json(client_->Get("/_test/requests"));
  ASSERT_EQ(requests.size(), 6u);
  EXPECT_TRUE(requests[0]["decoded"].is_null());
  EXPECT_EQ(requests[4]["target"], "/zelguard/update1");
  EXPECT_EQ(requests[4]["body"], MakeBody(ShortQuery("2.0.0", "U-1"), false));
  EXPECT_EQ(requests[4]["query"], ShortQuery("2.0.0", "U-1"));
  EXPECT_EQ(requests[5]["decoded"]["OSName"], "Microsoft Windows 10 专业版");
  EXPECT_NE(requests[4]["headers"].dump().find(R"(["Content-Type","application/x-www-form-urlencoded"])"),
            -1);

  // Scripted faults change the following answers in order until reset. A script that
  // is refused is taken not even in part; reset clears the script and the recorded
  // requests.
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
  res = PostUpdate(ShortQuery("2.0.0", "U"));
  EXPECT_EQ(std::pair(Status(res), res->body), std::pair(500, std::string()));
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
  EXPECT_EQ(client_->Get("/_test/requests")->body, "[]");
  EXPECT_EQ(Status(PostUpdate(ShortQuery("2.0.0", "U"))), 200);
}

TEST_F(UpdateServerTest, ServesPackagesInTheRangesTheProgramAsksForAndAChangedCatalogWithoutARestart) {
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

  // A published version and a policy that wants full profiles no older than 30 days
  // are served without a restart.
  PublishEntry(catalog_, {"2.2.0", "http://x/2.2.0.exe", 99, std::string(32, 'b'), true, "", ""}, true);
  catalog_.policy.fullProfileEveryDays = 30;
  std::string error;
  ASSERT_TRUE(SaveCatalog(dir_.File("catalog.json"), catalog_, error)) << error;
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
  const json data = Json(Forwarded("A", "198.51.100.7, 203.0.113.9, 127.0.0.1", "https"))["data"];
  EXPECT_TRUE(data["action"] == "33" && !data.contains("updateurl")) << data;
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
  sqlite3_close(locker);  // ends its transaction, which wrote nothing
  EXPECT_THAT(Admin("/healthz"), ::testing::StartsWith("200 "));
  EXPECT_EQ(Data(ShortQuery("2.0.0", "V"))["action"], "33");
  EXPECT_EQ(Count(*store_, "SELECT COUNT(*) FROM checkins WHERE uuid = 'V'"), 1);
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

// Below: clients that misbehave, on purpose or not, and a store that fails: each is
// answered within bounded time, stores nothing it should not, and leaves the
// other clients served.

using Clock = std::chrono::steady_clock;

using HostileTest = ServiceFixture;

// Sends a byte on each connection every 100 ms until stopped.
std::jthread Drip(std::vector<std::unique_ptr<RawConnection>>& connections) {
  return std::jthread([&connections](std::stop_token stop) {
    for (; !stop.stop_requested(); std::this_thread::sleep_for(std::chrono::milliseconds(100)))
      for (auto& c : connections) c->Send("X");
  });
}

// Slow package readers, idle keep-alive connections and clients that send their
// head a byte at a time hold connections, never the service; concurrent check-ins
// share their commits, and only committed ones are answered.
TEST_F(HostileTest, SlowIdleAndDrippingClientsLeaveOthersServedAndCheckinsGrouped) {
  Start();
  // 32 downloads that read nothing, 32 idle connections, 16 heads sent a byte at a time.
  std::vector<std::unique_ptr<RawConnection>> held, dripping;
  for (int i = 0; i < 80; ++i) {
    auto c = std::make_unique<RawConnection>(port_, i < 32 ? 4096 : 0);
    ASSERT_TRUE(c->Send(i < 32    ? std::string("GET ") + kPackage + " HTTP/1.1\r\nHost: h\r\n\r\n"
                        : i >= 64 ? "POST /zelguard/update1 HTTP/1.1\r\n"
                                  : ""));
    (i < 64 ? held : dripping).push_back(std::move(c));
  }
  const std::jthread drip = Drip(dripping);
  int answeredWithinOneSecond = 0;  // of 60 queries, each on a new connection
  for (int i = 0; i < 60; ++i) {
    httplib::Client probe("127.0.0.1", port_);
    probe.set_connection_timeout(2, 0);
    probe.set_read_timeout(2, 0);
    const auto start = Clock::now();
    auto res = probe.Post("/zelguard/update1", MakeBody(ShortQuery("2.0.0", "P-" + std::to_string(i)), false),
                          kForm);
    answeredWithinOneSecond += Status(res) == 200 && Clock::now() - start < std::chrono::seconds(1);
  }
  EXPECT_EQ(answeredWithinOneSecond, 60);

  // Meanwhile 16 clients query at once, 40 times each, over keep-alive connections.
  constexpr int kClients = 16, kQueries = 40;
  std::vector<std::thread> clients;
  std::atomic<int> answered{0};
  for (int c = 0; c < kClients; ++c)
    clients.emplace_back([&, c] {
      httplib::Client client("127.0.0.1", port_);
      client.set_keep_alive(true);
      for (int q = 0; q < kQueries; ++q) {
        const std::string query = ShortQuery("2.0.0", "G-" + std::to_string(c) + "-" + std::to_string(q));
        answered +=
            Json(client.Post("/zelguard/update1", MakeBody(query, true), kForm))["data"]["action"] == "33";
      }
    });
  for (auto& t : clients) t.join();
  EXPECT_EQ(answered, kClients * kQueries);
  // Every answered query is stored; fewer transactions than check-ins: concurrent
  // queries shared their commits.
  EXPECT_EQ(Count(*store_, "SELECT COUNT(DISTINCT uuid) FROM checkins"), 60 + kClients * kQueries);
  EXPECT_LT(server_->Writer()->Commits(), server_->Writer()->Rows());
}

// Every body up to the limit is taken in any framing; larger ones are refused early.
TEST_F(HostileTest, BodiesUpToTheLimitAreTakenLargerOnesRefusedEarlyAndAHeadMustArriveInTime) {
  config_.connectionsPerAddress = 4;
  config_.headDeadlineSeconds = 1;
  Start();
  {  // a chunked body that never ends: the connection is closed past the limit
    RawConnection c(port_);
    ASSERT_TRUE(c.Send("POST /zelguard/update1 HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n\r\n"));
    const std::string chunk = "4000\r\n" + std::string(0x4000, 'a') + "\r\n";
    std::size_t sent = 0;
    while (sent < (64u << 20) && c.Send(chunk)) sent += chunk.size();
    EXPECT_LT(sent, 8u << 20);  // stopped long before 64 MiB
  }
  // A compressed body within the limit (50 KB) that inflates far beyond it (50 MiB),
  // and an unknown coding.
  const std::string bomb = Compress(std::string(50u << 20, '\0'));
  EXPECT_EQ(Status(client_->Post("/zelguard/update1", {{"Content-Encoding", "deflate"}}, bomb, kForm)), 413);
  EXPECT_EQ(Status(client_->Post("/zelguard/update1", {{"Content-Encoding", "br"}}, bomb, kForm)), 415);

  // A machine with many add-ins: a form body of 24 KB, well over 8 KiB.
  const std::string body =
      MakeBody(ShortQuery("2.0.0", "big") + "&OfficeAddins=" + HexEncodeText(std::string(6000, 'x')), false);
  EXPECT_EQ(Status(client_->Post("/zelguard/update1", body, kForm)), 200);

  RawConnection c(port_);  // the same body chunked and gzip-compressed
  const std::string gz = Compress(body, true);
  std::ostringstream chunked;  // one chunk and the last one
  chunked << std::hex << gz.size() << "\r\n" << gz << "\r\n0\r\n\r\n";
  const std::string head = "POST /zelguard/update1 HTTP/1.1\r\nHost: h\r\nConnection: close\r\n";
  ASSERT_TRUE(c.Send(head + "Content-Encoding: gzip\r\nTransfer-Encoding: chunked\r\n\r\n" + chunked.str()));
  EXPECT_EQ(c.ReadAll().rfind("HTTP/1.1 200", 0), 0u);
  EXPECT_EQ(Column(*store_, "SELECT group_concat(uuid || ' ' || length(office_addins)) FROM checkins"),
            (std::set<std::string>{"big 6000,big 6000"}));

  // One address holds at most its share of connections, and a head that is not in
  // within its deadline loses its connection, however the client trickles it.
  std::vector<std::unique_ptr<RawConnection>> held;
  for (int i = 0; i < 4; ++i) {
    held.push_back(std::make_unique<RawConnection>(port_));
    ASSERT_TRUE(held.back()->Send("POST /zelguard/update1 HTTP/1.1\r\n"));
  }
  const auto query = [this] {
    httplib::Client c("127.0.0.1", port_);
    return Status(c.Post("/zelguard/update1", MakeBody(ShortQuery("2.0.0", "Q"), false), kForm));
  };
  // Once the service has taken the four, a fifth connection is closed unanswered.
  EXPECT_TRUE(Eventually([&] { return query() == -1; }));
  const std::jthread drip = Drip(held);
  // The deadline ends the trickling heads, which frees the address's share.
  EXPECT_TRUE(Eventually([&] { return query() == 200; }, std::chrono::seconds(6)));
  EXPECT_EQ(held[0]->ReadAll(), "");
}

// A store whose inserts wait until it is opened, and only count their rows.
struct HeldStore final : CheckinStore {
  std::string Insert(const std::vector<CheckinRow>& inserted) override {
    ++inserting;
    Eventually([this] { return open.load(); }, std::chrono::seconds(10));
    rows += static_cast<int>(inserted.size());
    return {};
  }
  std::string LastFullProfiles(const std::vector<std::string>&,
                               std::map<std::string, std::int64_t>&) override {
    return {};
  }
  std::string Prune(std::int64_t, std::int64_t, std::int64_t&) override { return {}; }
  std::string Select(const std::string&, TextRows&) override { return {}; }
  std::atomic<int> inserting{0}, rows{0};
  std::atomic<bool> open{false};
};

// Queries are answered "try again" at the budget while the store stalls; the one
// queued behind the stall is never stored once the store is back (its row would
// record an action nobody was told).
TEST_F(HostileTest, AStalledStoreIsAnsweredTryAgainAtTheBudgetAndAFullQueueRefusesAtOnce) {
  store_ = std::make_unique<HeldStore>();
  HeldStore& store = static_cast<HeldStore&>(*store_);
  config_.answerBudget = std::chrono::milliseconds(300);
  Start();
  const auto start = Clock::now();
  EXPECT_EQ(Data(ShortQuery("2.0.0", "held"))["action"], "32");
  EXPECT_EQ(Data(ShortQuery("2.0.0", "queued"))["action"], "32");
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1000));
  store.open = true;
  EXPECT_EQ(Data(ShortQuery("2.0.0", "later"))["action"], "33");
  EXPECT_EQ(store.rows, 2);  // the insert that was under way, and the later one

  // Behind a store that does not keep up, the writer's queue stops at its limit:
  // further check-ins are refused at once (their queries answered "try again"), the
  // queued ones are still stored.
  HeldStore held;
  const auto job = [] {
    auto j = std::make_shared<CheckinJob>();
    j->query = Parse(ShortQuery("2.0.0", "Q"));
    j->decide = [](const CheckinJob&, std::optional<std::int64_t>) { return 33; };
    j->finish = [](bool) {};
    return j;
  };
  CheckinWriter writer(held, std::chrono::microseconds(0), 2);
  ASSERT_TRUE(writer.Submit(job()));
  ASSERT_TRUE(Eventually([&] { return held.inserting > 0; }));  // the writer is held with the first one
  EXPECT_EQ((std::vector{writer.Submit(job()), writer.Submit(job()), writer.Submit(job())}),
            (std::vector{true, true, false}));
  EXPECT_EQ(writer.Queued(), 2u);
  held.open = true;
  writer.Stop();
  EXPECT_EQ(held.rows, 3);
}

}  // namespace
}  // namespace zel::svc::test
