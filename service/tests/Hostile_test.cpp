// Clients that misbehave, on purpose or not, and a store that fails: each is
// answered within bounded time, stores nothing it should not, and leaves the
// other clients served.
#include <atomic>

#include "AccessLog.h"
#include "CheckinWriter.h"
#include "TestSupport.h"

namespace zel::svc::test {
namespace {

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
// head a byte at a time hold connections, never the service.
TEST_F(HostileTest, SlowIdleAndDrippingClientsLeaveOthersServed) {
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
    auto res = probe.Post("/zelguard/update1", MakeBody(ShortQuery("2.0.0", "P-" + std::to_string(i)), false), kForm);
    answeredWithinOneSecond += Status(res) == 200 && Clock::now() - start < std::chrono::seconds(1);
  }
  EXPECT_EQ(answeredWithinOneSecond, 60);
  EXPECT_EQ(Checkins(), 60);
}

// One address holds at most its share of connections, and a head that is not in
// within its deadline loses its connection, however the client trickles it.
TEST_F(HostileTest, AnAddressHoldsItsShareOfConnectionsAndAHeadMustArriveInTime) {
  config_.connectionsPerAddress = 4;
  config_.headDeadlineSeconds = 1;
  Start();
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

// Every body up to the limit is taken in any framing; larger ones are refused early.
TEST_F(HostileTest, BodiesUpToTheLimitAreTakenAndLargerOnesRefusedEarlyWhateverTheirFraming) {
  Start();
  {  // a chunked body that never ends: the connection is closed past the limit
    RawConnection c(port_);
    ASSERT_TRUE(c.Send("POST /zelguard/update1 HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n\r\n"));
    const std::string chunk = "4000\r\n" + std::string(0x4000, 'a') + "\r\n";
    std::size_t sent = 0;
    while (sent < (64u << 20) && c.Send(chunk)) sent += chunk.size();
    EXPECT_LT(sent, 8u << 20);  // stopped long before 64 MiB
  }
  // A compressed body that inflates far beyond the limit, and an unknown coding.
  const std::string bomb = Compress(std::string(50u << 20, '\0'));
  ASSERT_LT(bomb.size(), kMaxBodyBytes);
  EXPECT_EQ(Status(client_->Post("/zelguard/update1", {{"Content-Encoding", "deflate"}}, bomb, kForm)), 413);
  EXPECT_EQ(Status(client_->Post("/zelguard/update1", {{"Content-Encoding", "br"}}, bomb, kForm)), 415);

  // A machine with many add-ins: a form body well over 8 KiB.
  const std::string body =
      MakeBody(ShortQuery("2.0.0", "big") + "&OfficeAddins=" + HexEncodeText(std::string(6000, 'x')), false);
  ASSERT_GT(body.size(), 16u * 1024);
  EXPECT_EQ(Status(client_->Post("/zelguard/update1", body, kForm)), 200);

  RawConnection c(port_);  // the same body chunked and gzip-compressed
  const std::string gz = Compress(body, true);
  char size[16];
  std::snprintf(size, sizeof size, "%zx", gz.size());
  ASSERT_TRUE(c.Send("POST /zelguard/update1 HTTP/1.1\r\nHost: h\r\nConnection: close\r\nContent-Encoding: gzip\r\n"
                     "Transfer-Encoding: chunked\r\n\r\n" + std::string(size) + "\r\n" + gz + "\r\n0\r\n\r\n"));
  EXPECT_EQ(c.ReadAll().rfind("HTTP/1.1 200", 0), 0u);
  EXPECT_EQ(Checkins("uuid = 'big' AND length(office_addins) = 6000"), 2);
  EXPECT_EQ(Checkins(), 2);
}

TEST(AccessLog, NeverWritesAClientsBytesRaw) {
  EXPECT_EQ(EscapeForLog("GET /a b"), "GET /a b");
  EXPECT_EQ(EscapeForLog("/x\r\n200 OK \x1b[2J\"\\\xe4\xb8\xad"), "/x\\x0D\\x0A200 OK \\x1B[2J\\\"\\\\\\xE4\\xB8\\xAD");
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
TEST_F(HostileTest, AStalledStoreIsAnsweredTryAgainAtTheBudgetAndStoresNothingLate) {
  auto held = std::make_unique<HeldStore>();
  HeldStore& store = *held;
  store_ = std::move(held);
  config_.answerBudget = std::chrono::milliseconds(300);
  Start();
  const auto start = Clock::now();
  EXPECT_EQ(Data(ShortQuery("2.0.0", "held"))["action"], "32");
  EXPECT_EQ(Data(ShortQuery("2.0.0", "queued"))["action"], "32");
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1000));
  store.open = true;
  EXPECT_EQ(Data(ShortQuery("2.0.0", "later"))["action"], "33");
  EXPECT_EQ(store.rows, 2);  // the insert that was under way, and the later one
}

// Behind a store that does not keep up, the queue stops at its limit: further
// check-ins are refused at once (their queries answered "try again"), the queued
// ones are still stored.
TEST(CheckinWriter, AFullQueueRefusesFurtherCheckinsAtOnce) {
  HeldStore store;
  const auto job = [] {
    auto j = std::make_shared<CheckinJob>();
    j->query = Parse(ShortQuery("2.0.0", "Q"));
    j->decide = [](const CheckinJob&, std::optional<std::int64_t>) { return 33; };
    j->finish = [](bool) {};
    return j;
  };
  CheckinWriter writer(store, std::chrono::microseconds(0), 2);
  ASSERT_TRUE(writer.Submit(job()));
  ASSERT_TRUE(Eventually([&] { return store.inserting > 0; }));  // the writer is held with the first one
  EXPECT_EQ((std::vector{writer.Submit(job()), writer.Submit(job()), writer.Submit(job())}),
            (std::vector{true, true, false}));
  EXPECT_EQ(writer.Queued(), 2u);
  store.open = true;
  writer.Stop();
  EXPECT_EQ(store.rows, 3);
}

TEST_F(HostileTest, GroupsConcurrentCheckinsAndAnswersOnlyCommittedOnes) {
  Start();
  constexpr int kClients = 16, kQueries = 40;
  std::vector<std::thread> clients;
  std::atomic<int> answered{0};
  for (int c = 0; c < kClients; ++c) {
    clients.emplace_back([&, c] {
      httplib::Client client("127.0.0.1", port_);
      client.set_keep_alive(true);
      for (int q = 0; q < kQueries; ++q) {
        const std::string query = ShortQuery("2.0.0", "G-" + std::to_string(c) + "-" + std::to_string(q));
        answered +=
            Json(client.Post("/zelguard/update1", MakeBody(query, true), kForm))["data"]["action"] == "33";
      }
    });
  }
  for (auto& t : clients) t.join();
  EXPECT_EQ(answered, kClients * kQueries);
  EXPECT_EQ(Count(*store_, "SELECT COUNT(DISTINCT uuid) FROM checkins"), kClients * kQueries);
  // Fewer transactions than check-ins: concurrent queries shared their commits.
  EXPECT_LT(server_->Writer()->Commits(), server_->Writer()->Rows());
}

}  // namespace
}  // namespace zel::svc::test
