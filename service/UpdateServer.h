// The HTTP side of the service: update POSTs on the configured path, packages under
// /packages/, and with test control the /_test/ routes (recorded requests, scripted
// faults, reset).
//
// Connections are served by a small pool of event-driven threads (one per core),
// so a slow, idle or stalled client holds a socket but never a thread. An update
// query waits, without a thread, until the group its check-in belongs to is
// committed; one the store cannot take within the time budget is answered action
// 32, which makes the program ask again.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "CatalogWatch.h"
#include "CheckinStore.h"
#include "CheckinWriter.h"
#include "AccessLog.h"
#include "FaultScript.h"
#include "Metrics.h"
#include "RequestLog.h"
#include "Signing.h"
#include "Timers.h"

struct MHD_Daemon;
struct MHD_Connection;

namespace zel::svc {

inline constexpr const char* kDefaultUpdatePath = "/zelguard/update1";

struct ServerConfig {
  std::string host = "127.0.0.1";
  int port = 0;  // 0: any free port
  std::string catalogPath;
  std::string packagesDir;
  std::string updatePath = kDefaultUpdatePath;
  bool testControl = false;
  bool logRequests = true;  // one line per request on stderr
  // Update answers are signed for queries that name one of these keys; none: unsigned.
  std::shared_ptr<const KeyRing> keys;
  int threads = 0;          // 0: one per core
  // A connection that moves no byte for this long is closed: reading a request,
  // writing an answer or waiting for the next request alike.
  int idleTimeoutSeconds = 30;
  std::chrono::microseconds commitWindow = std::chrono::milliseconds(1);
  // Check-ins waiting for the writer at most; beyond, queries are answered "try again".
  std::size_t maxQueuedCheckins = 4096;
  std::chrono::milliseconds answerBudget = std::chrono::milliseconds(1000);
  std::chrono::milliseconds catalogCheckInterval = std::chrono::milliseconds(250);
  // A request head must be complete this long after its connection opened or the
  // previous answer on it went out; a client that sends it a byte at a time does
  // not hold its connection longer.
  int headDeadlineSeconds = 30;
  // Connections one client address may hold at once; configured proxies have none.
  int connectionsPerAddress = 1024;
  // Peers (proxies in front) whose X-Forwarded-For and X-Forwarded-Proto are taken
  // as the client's address and scheme; from anyone else those headers are ignored.
  std::vector<std::string> trustedProxies;
  // A listener of its own for GET /healthz and GET /metrics; port -1: none.
  std::string adminHost = "127.0.0.1";
  int adminPort = -1;
  LogLevel logLevel = LogLevel::kInfo;
};

class UpdateServer {
 public:
  UpdateServer(ServerConfig config, CheckinStore& store);
  ~UpdateServer();
  UpdateServer(const UpdateServer&) = delete;
  UpdateServer& operator=(const UpdateServer&) = delete;

  // Loads the catalog (a missing or invalid one is refused, except that with test
  // control a missing one starts empty) and starts taking connections; the port.
  std::optional<int> Bind(std::string& error);
  // Serves until Stop; false when the server could not run.
  bool Run();
  // Safe from any thread: answers what is pending and closes the listening socket.
  void Stop();

  const CheckinWriter* Writer() const { return writer_.get(); }
  // The admin listener's port once bound; 0 without one.
  int AdminPort() const { return adminPort_; }

  struct Exchange;

 private:
  friend struct ServerCallbacks;

  // The body limit of a route: one for the protocol, a larger one for fault scripts.
  std::size_t BodyLimitFor(const std::string& url) const;
  // One call of the HTTP library for a request; false closes the connection.
  bool Handle(MHD_Connection* connection, const std::shared_ptr<Exchange>& x, const std::string& url,
              const std::string& method, const char* uploadData, std::size_t* uploadSize);
  void Dispatch(MHD_Connection* connection, const std::shared_ptr<Exchange>& x, const std::string& url);
  void HandleUpdate(MHD_Connection* connection, const std::shared_ptr<Exchange>& x);
  void HandlePackage(Exchange& x, const std::string& name);
  void HandleFaults(Exchange& x);
  void Record(MHD_Connection* connection, Exchange& x, const std::optional<UpdateQuery>& decoded);
  // Sets the answer of a suspended exchange and resumes it; false when it was
  // answered already (the time budget and the store race for it).
  bool Complete(const std::shared_ptr<Exchange>& x, int status, std::string json, std::string note);
  bool Queue(MHD_Connection* connection, Exchange& x);
  bool Stopping();
  void Log(const Exchange& x);
  // The client of a request: the peer, or what a trusted proxy says it forwards.
  std::string ClientAddress(MHD_Connection* connection, const std::string& peer, bool& overHttps) const;
  bool IsTrustedProxy(const std::string& address) const { return trustedProxies_.count(address) > 0; }
  std::optional<int> BindAdmin(std::string& error);
  void HandleAdmin(Exchange& x, const std::string& url);
  std::string MetricsText();
  std::string HealthText(bool& healthy);
  // Closes the connections whose request head is overdue; runs once a second.
  void SweepHeads();

  // What the service knows of each open connection.
  struct ConnectionState {
    int fd = -1;
    std::string address;
    // Since when a request head is awaited (steady clock ticks); 0 while none is.
    std::atomic<std::int64_t> headAwaitedSince{0};
  };
  std::mutex connectionsMutex_;  // guards connections_ and perAddress_
  std::set<ConnectionState*> connections_;
  std::map<std::string, int> perAddress_;
  std::set<std::string> trustedProxies_;  // normalised addresses

  ServerConfig config_;
  CheckinStore& store_;
  MHD_Daemon* daemon_ = nullptr;
  MHD_Daemon* admin_ = nullptr;
  int adminPort_ = 0;
  ServiceMetrics metrics_;
  std::atomic<std::uint64_t> requestIds_{0};
  std::thread sweeper_;
  std::unique_ptr<CatalogWatch> catalog_;
  std::unique_ptr<CheckinWriter> writer_;
  Timers timers_;
  RequestLog requests_;
  FaultScript faults_;

  std::mutex stopMutex_;
  std::condition_variable stopCv_;
  bool stopping_ = false;
  bool stopped_ = false;
};

}  // namespace zel::svc
