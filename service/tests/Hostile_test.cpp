// Clients that misbehave, on purpose or not, and a store that fails: each is
// answered within bounded time, stores nothing it should not, and leaves the
// other clients served.
#include <gtest/gtest.h>

#include <atomic>
#include <set>

#include "AccessLog.h"
#include "CheckinWriter.h"
#include "ServerFixture.h"

namespace zel::svc::test {
namespace {

using Clock = std::chrono::steady_clock;

class HostileTest : public ServiceFixture {
 protected:
  void SetUp() override { Start(); }
};

// Slow package readers, idle keep-alive connections and clients that send their
// head a byte at a time hold connections, never the service.
TEST_F(HostileTest, SlowIdleAndDrippingClientsLeaveOthersServed) {
  // 32 downloads that read nothing, 32 idle connections, 16 heads sent a byte at a time.
  std::vector<std::unique_ptr<RawConnection>> held, dripping;
  for (int i = 0; i < 80; ++i) {
    auto c = std::make_unique<RawConnection>(port_, i < 32 ? 4096 : 0);
    ASSERT_TRUE(c->Send(i < 32    ? std::string("GET ") + kPackage + " HTTP/1.1\r\nHost: h\r\n\r\n"
                        : i >= 64 ? "POST /zelguard/update1 HTTP/1.1\r\n"
                                  : ""));
    (i < 64 ? held : dripping).push_back(std::move(c));
  }
  std::jthread drip([&](std::stop_token stop) {
    while (!stop.stop_requested()) {
      for (auto& c : dripping) c->Send("X");
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  });
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
class EdgeLimitsTest : public ServiceFixture {
 protected:
  void SetUp() override {
    config_.connectionsPerAddress = 4;
    config_.headDeadlineSeconds = 1;
    Start();
  }
};

TEST_F(EdgeLimitsTest, AnAddressHoldsItsShareOfConnectionsAndAHeadMustArriveInTime) {
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
  std::jthread drip([&](std::stop_token stop) {
    while (!stop.stop_requested()) {
      for (auto& c : held) c->Send("X");
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  });
  // The deadline ends the trickling heads, which frees the address's share.
  EXPECT_TRUE(Eventually([&] { return query() == 200; }, std::chrono::seconds(6)));
  EXPECT_EQ(held[0]->ReadAll(), "");
}

TEST_F(HostileTest, OversizedBodiesAreRefusedEarlyWhateverTheirFraming) {
  const auto start = Clock::now();
  {  // a chunked body that never ends: the connection is closed past the limit
    RawConnection c(port_);
    ASSERT_TRUE(c.Send("POST /zelguard/update1 HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n\r\n"));
    const std::string chunk = "4000\r\n" + std::string(0x4000, 'a') + "\r\n";
    std::size_t sent = 0;
    while (sent < (64u << 20) && c.Send(chunk)) sent += chunk.size();
    EXPECT_LT(sent, 8u << 20);  // stopped long before 64 MiB
  }
  // A compressed body that inflates far beyond the limit, and an unknown coding.
  const std::string gz = Compress(std::string(50u << 20, '\0'));
  ASSERT_LT(gz.size(), kMaxBodyBytes);
  EXPECT_EQ(Status(client_->Post("/zelguard/update1", {{"Content-Encoding", "deflate"}}, gz, kForm)), 413);
  EXPECT_EQ(Status(client_->Post("/zelguard/update1", {{"Content-Encoding", "br"}}, gz, kForm)), 415);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
  EXPECT_EQ(Checkins(), 0);
  EXPECT_EQ(Status(PostUpdate(ShortQuery("2.0.0", "after"))), 200);
}

TEST_F(HostileTest, AcceptsEveryBodyUpToTheLimitInAnyFraming) {
  // A machine with many add-ins: a form body well over 8 KiB.
  const std::string addins(6000, 'x');
  const std::string query = ShortQuery("2.0.0", "big") + "&OfficeAddins=" + HexEncodeText(addins);
  const std::string body = MakeBody(query, false);
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
}

// Kept-alive queries are answered at once: no answer waits for more data to join
// it (Nagle's algorithm would hold each for 40 ms). The client sends each request
// without delay too, as the program's does.
TEST_F(HostileTest, KeptAliveQueriesAreNotHeldBack) {
  httplib::Client client("127.0.0.1", port_);
  client.set_keep_alive(true);
  client.set_tcp_nodelay(true);
  std::vector<double> ms;
  for (int i = 0; i < 21; ++i) {
    const auto start = Clock::now();
    ASSERT_EQ(Status(client.Post("/zelguard/update1", MakeBody(ShortQuery("2.0.0", "K"), false), kForm)), 200);
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  std::nth_element(ms.begin(), ms.begin() + 10, ms.end());
  EXPECT_LT(ms[10], 30.0);
}

TEST_F(HostileTest, HasNoTestRoutesWithoutTestControl) { EXPECT_EQ(AddFaults(R"([{"drop":true}])"), 404); }

TEST(AccessLog, NeverWritesAClientsBytesRaw) {
  EXPECT_EQ(EscapeForLog("GET /a b"), "GET /a b");
  EXPECT_EQ(EscapeForLog("/x\r\n200 OK \x1b[2J\"\\\xe4\xb8\xad"), "/x\\x0D\\x0A200 OK \\x1B[2J\\\"\\\\\\xE4\\xB8\\xAD");
}

// A store that runs a hook before each insert: an error the hook returns is the
// insert's, otherwise the rows go to the store inside.
struct HookedStore final : CheckinStore {
  HookedStore(std::unique_ptr<CheckinStore> store, std::function<std::string()> hook)
      : inner(std::move(store)), beforeInsert(std::move(hook)) {}
  std::string Insert(const std::vector<CheckinRow>& rows) override {
    const std::string error = beforeInsert();
    return error.empty() ? inner->Insert(rows) : error;
  }
  std::string LastFullProfiles(const std::vector<std::string>& uuids,
                               std::map<std::string, std::int64_t>& lastFull) override {
    return inner->LastFullProfiles(uuids, lastFull);
  }
  std::string Prune(std::int64_t, std::int64_t, std::int64_t&) override { return {}; }
  std::string Select(const std::string& sql, TextRows& rows) override { return inner->Select(sql, rows); }
  const std::unique_ptr<CheckinStore> inner;
  const std::function<std::string()> beforeInsert;
};
using StalledStoreTest = ServiceFixture;

// The queries that waited behind the stalled insert are answered "try again" at the
// budget and never stored once the store works again.
TEST_F(StalledStoreTest, AStalledStoreIsAnsweredTryAgainAtTheBudgetAndStoresNothingLate) {
  std::string error;
  // The first insert stalls past the budget and fails; then the store works.
  store_ = std::make_unique<HookedStore>(
      OpenCheckinStore(dir_.File("checkins.db"), CheckinStore::Access::kReadWrite, error),
      [stalled = false]() mutable {
        if (std::exchange(stalled, true)) return std::string();
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        return std::string("stalled");
      });
  Start(false, std::chrono::milliseconds(300));
  std::vector<std::thread> clients;
  std::atomic<int> tryAgain{0};
  const auto start = Clock::now();
  for (int i = 0; i < 8; ++i) {
    clients.emplace_back([&, i] {
      // The first query takes the writer into the stall; the others queue behind it.
      std::this_thread::sleep_for(std::chrono::milliseconds(i ? 50 : 0));
      httplib::Client c("127.0.0.1", port_);
      auto res = c.Post("/zelguard/update1", MakeBody(ShortQuery("2.0.0", std::to_string(i)), false), kForm);
      tryAgain += Json(res)["data"]["action"] == "32";
    });
  }
  for (auto& t : clients) t.join();
  EXPECT_EQ(tryAgain, 8);
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1000));
  // Once the stall is over, after everything queued before it.
  EXPECT_TRUE(Eventually([&] { return Data(ShortQuery("2.0.0", "later"))["action"] == "33"; }));
  EXPECT_EQ(Column(*store_, "SELECT uuid FROM checkins"), std::set<std::string>{"later"});
}

// Behind a store that does not keep up, the queue stops at its limit: further
// check-ins are refused at once (their queries answered "try again"), the queued
// ones are still stored.
TEST(CheckinWriter, AFullQueueRefusesFurtherCheckinsAtOnce) {
  ScratchDir dir;
  std::string error;
  std::atomic<int> inserting{0};
  std::atomic<bool> open{false};
  HookedStore store(OpenCheckinStore(dir.File("c.db"), CheckinStore::Access::kReadWrite, error), [&] {
    ++inserting;
    Eventually([&] { return open.load(); }, std::chrono::seconds(10));
    return std::string();
  });
  std::atomic<int> committed{0};
  const auto job = [&] {
    auto j = std::make_shared<CheckinJob>();
    j->query = Parse(ShortQuery("2.0.0", "Q"));
    j->decide = [](const CheckinJob&, std::optional<std::int64_t>) { return 33; };
    j->finish = [&](bool stored) { committed += stored; };
    return j;
  };
  CheckinWriter writer(store, std::chrono::microseconds(0), 2);
  ASSERT_TRUE(writer.Submit(job()));
  ASSERT_TRUE(Eventually([&] { return inserting > 0; }));  // the writer is held with the first one
  EXPECT_TRUE(writer.Submit(job()));
  EXPECT_TRUE(writer.Submit(job()));
  EXPECT_FALSE(writer.Submit(job()));
  EXPECT_EQ(writer.Queued(), 2u);
  open = true;
  writer.Stop();
  EXPECT_EQ(committed, 3);
}

TEST_F(HostileTest, GroupsConcurrentCheckinsAndAnswersOnlyCommittedOnes) {
  constexpr int kClients = 16, kQueries = 40;
  std::vector<std::thread> clients;
  std::mutex mutex;
  std::set<std::string> answered;
  for (int c = 0; c < kClients; ++c) {
    clients.emplace_back([&, c] {
      httplib::Client client("127.0.0.1", port_);
      client.set_keep_alive(true);
      for (int q = 0; q < kQueries; ++q) {
        const std::string uuid = "G-" + std::to_string(c) + "-" + std::to_string(q);
        auto res = client.Post("/zelguard/update1", MakeBody(ShortQuery("2.0.0", uuid), true), kForm);
        if (Json(res)["data"]["action"] == "33") {
          std::lock_guard lock(mutex);
          answered.insert(uuid);
        }
      }
    });
  }
  for (auto& t : clients) t.join();
  EXPECT_EQ(answered.size(), std::size_t{kClients * kQueries});
  EXPECT_EQ(Column(*store_, "SELECT uuid FROM checkins"), answered);
  // Fewer transactions than check-ins: concurrent queries shared their commits.
  EXPECT_LT(server_->Writer()->Commits(), server_->Writer()->Rows());
  EXPECT_EQ(server_->Writer()->Rows(), std::uint64_t{kClients * kQueries});
}

}  // namespace
}  // namespace zel::svc::test
