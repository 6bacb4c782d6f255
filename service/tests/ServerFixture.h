// A service on loopback for tests that drive it over real HTTP: a catalog offering
// 2.1.0, a 3 MB package, an SQLite store (or another store the test opens), and
// raw connections for clients that misbehave.
#pragma once

#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <nlohmann/json.hpp>

#include "TestSupport.h"
#include "UpdateServer.h"

namespace zel::svc::test {

using nlohmann::json;

constexpr const char* kForm = "application/x-www-form-urlencoded";
constexpr const char* kPackage = "/packages/zel-2.1.0.exe";

inline int Status(const httplib::Result& res) { return res ? res->status : -1; }
inline json Json(const httplib::Result& res) { return res ? json::parse(res->body, nullptr, false) : json(); }

// A TCP connection to loopback that sends and reads exactly what a test says.
class RawConnection {
 public:
  // A connection that fails shows in the first Send.
  explicit RawConnection(int port, int receiveBuffer = 0) {
    if (receiveBuffer > 0) setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    const timeval timeout{5, 0};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    const sockaddr_in a{AF_INET, htons(static_cast<std::uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
    connect(fd_, reinterpret_cast<const sockaddr*>(&a), sizeof a);
  }
  ~RawConnection() { close(fd_); }
  RawConnection(const RawConnection&) = delete;
  RawConnection& operator=(const RawConnection&) = delete;

  bool Send(std::string_view bytes) {
    while (!bytes.empty()) {
      const ssize_t n = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (n <= 0) return false;
      bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
  }
  // Reads until the peer closes or nothing comes for the receive timeout.
  std::string ReadAll() {
    std::string all;
    char buffer[65536];
    for (ssize_t n; (n = recv(fd_, buffer, sizeof buffer, 0)) > 0;) all.append(buffer, static_cast<std::size_t>(n));
    return all;
  }

 private:
  const int fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
};

class ServiceFixture : public ::testing::Test {
 protected:
  void TearDown() override {
    if (server_) server_->Stop(), thread_.join();
  }

  // Opens the SQLite store unless the test opened one, and starts the service.
  void Start(bool testControl = false, std::chrono::milliseconds answerBudget = std::chrono::milliseconds(1000)) {
    std::string error;
    if (!store_) store_ = OpenCheckinStore(dir_.File("checkins.db"), CheckinStore::Access::kReadWrite, error);
    ASSERT_TRUE(store_) << error;
    std::filesystem::create_directories(dir_.path / "packages");
    package_.resize(3000000);
    for (std::size_t i = 0; i < package_.size(); ++i) package_[i] = static_cast<char>(i * 7 + i / 251);
    dir_.Write("packages/zel-2.1.0.exe", package_);
    PublishEntry(catalog_, {"2.1.0", "http://h/p.exe", 3000000, std::string(32, 'b'), false, "", ""}, true);
    SaveCatalog();

    config_.catalogPath = dir_.File("catalog.json");
    config_.packagesDir = dir_.File("packages");
    config_.testControl = testControl;
    config_.logRequests = false;
    config_.keys = keys_;
    config_.answerBudget = answerBudget;
    config_.catalogCheckInterval = std::chrono::milliseconds(20);
    server_ = std::make_unique<UpdateServer>(config_, *store_);
    auto port = server_->Bind(error);
    ASSERT_TRUE(port) << error;
    port_ = *port;
    client_ = std::make_unique<httplib::Client>("127.0.0.1", port_);
    client_->set_read_timeout(10, 0);
    thread_ = std::thread([this] { server_->Run(); });
  }

  void SaveCatalog() {
    std::string error;
    ASSERT_TRUE(zel::svc::SaveCatalog(dir_.File("catalog.json"), catalog_, error)) << error;
  }
  httplib::Result PostUpdate(const std::string& query, bool zip = false) {
    return client_->Post("/zelguard/update1", MakeBody(query, zip), kForm);
  }
  json Data(const std::string& query, bool zip = false) { return Json(PostUpdate(query, zip))["data"]; }
  json Requests() { return Json(client_->Get("/_test/requests")); }
  std::int64_t Checkins(const std::string& where = "1 = 1") {
    return Count(*store_, "SELECT COUNT(*) FROM checkins WHERE " + where);
  }
  int AddFaults(const std::string& faults) {
    return Status(client_->Post("/_test/faults", faults, "application/json"));
  }

  ScratchDir dir_;
  std::string package_;
  Catalog catalog_;
  std::unique_ptr<CheckinStore> store_;
  std::shared_ptr<const KeyRing> keys_;  // none: answers go out unsigned
  ServerConfig config_;  // what a test sets before Start; Start fills in the rest
  std::unique_ptr<UpdateServer> server_;
  int port_ = 0;
  std::unique_ptr<httplib::Client> client_;
  std::thread thread_;
};

}  // namespace zel::svc::test
