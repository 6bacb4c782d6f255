// The HTTP side of the service: update POSTs on the configured path, packages under
// /packages/, and with test control the /_test/ routes (recorded requests, scripted
// faults, reset).
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "Catalog.h"
#include "CheckinStore.h"
#include "FaultScript.h"
#include "RequestLog.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace zel::svc {

inline constexpr const char* kDefaultUpdatePath = "/zelguard/update1";

struct ServerConfig {
  std::string host = "127.0.0.1";
  int port = 0;  // 0: any free port
  std::string catalog_path;
  std::string packages_dir;
  std::string update_path = kDefaultUpdatePath;
  bool test_control = false;
  bool log_requests = true;  // one line per request on stderr
};

class UpdateServer {
 public:
  UpdateServer(ServerConfig config, CheckinStore& store);
  ~UpdateServer();
  UpdateServer(const UpdateServer&) = delete;
  UpdateServer& operator=(const UpdateServer&) = delete;

  // Binds the listening socket (connections queue from here on); the port chosen.
  std::optional<int> Bind(std::string& error);
  // Serves until Stop; false when the server could not run.
  bool Run();
  // Safe from any thread; ends pending fault delays too.
  void Stop();

 private:
  void Route();
  void HandleUpdate(const httplib::Request& req, httplib::Response& res);
  void HandlePackage(const httplib::Request& req, httplib::Response& res);
  void HandleFaults(const httplib::Request& req, httplib::Response& res);
  void Record(const httplib::Request& req, const std::optional<UpdateQuery>& decoded);
  // Waits, drops the connection or rewrites the answer as the fault says.
  void ApplyFault(const std::optional<Fault>& fault, const httplib::Request& req, httplib::Response& res);
  Catalog CurrentCatalog();
  void WaitMs(int ms);

  ServerConfig config_;
  CheckinStore& store_;
  std::unique_ptr<httplib::Server> http_;
  RequestLog requests_;
  FaultScript faults_;

  std::mutex catalog_mutex_;
  Catalog last_good_catalog_;

  std::mutex stop_mutex_;
  std::condition_variable stop_cv_;
  bool stopping_ = false;
};

}  // namespace zel::svc
