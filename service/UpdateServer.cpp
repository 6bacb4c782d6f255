#include "UpdateServer.h"

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "Answer.h"
#include "ByteRange.h"

namespace zel::svc {

namespace {

constexpr const char* kJsonType = "application/json; charset=utf-8";

// What our handlers decided about the exchange in progress on this thread. The
// library runs one exchange from its routing to its log call on one thread.
struct Exchange {
  bool handled = false;      // one of our handlers made the answer (else: the library's error)
  bool close_after = false;  // the answer has no length, so the connection ends with it
  std::vector<std::string> omit_headers;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string note;  // shown in the request log line
};
thread_local Exchange t_exchange;

bool IsPseudoHeader(const std::string& name) {
  // The library adds the peer's and its own address to the request headers.
  return name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" || name == "LOCAL_PORT";
}

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

int PortOf(const sockaddr_storage& a) {
  if (a.ss_family == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in&>(a).sin_port);
  if (a.ss_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6&>(a).sin6_port);
  return -1;
}

std::string AddressOf(const sockaddr_storage& a) {
  char text[INET6_ADDRSTRLEN] = "";
  if (a.ss_family == AF_INET) {
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(a).sin_addr, text, sizeof text);
  } else if (a.ss_family == AF_INET6) {
    inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(a).sin6_addr, text, sizeof text);
  }
  return text;
}

// Ends the TCP connection of a request at once. The library hides the socket from
// handlers, so it is found among the process's descriptors by its two endpoints;
// the library then fails to write and closes the descriptor itself. With a zero
// linger time that close resets the connection.
bool ShutdownConnection(const httplib::Request& req) {
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", ec)) {
    const int fd = std::atoi(entry.path().filename().c_str());
    sockaddr_storage local{}, peer{};
    socklen_t local_len = sizeof local, peer_len = sizeof peer;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &local_len) != 0) continue;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peer_len) != 0) continue;
    if (PortOf(local) != req.local_port || PortOf(peer) != req.remote_port) continue;
    if (AddressOf(peer) != req.remote_addr) continue;
    linger reset{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    shutdown(fd, SHUT_RDWR);
    return true;
  }
  std::cerr << "connection of " << req.remote_addr << ":" << req.remote_port << " not found" << std::endl;
  return false;
}

void SetJson(httplib::Response& res, int status, const std::string& json) {
  res.status = status;
  res.set_content(json, kJsonType);
}

bool IsPlainFileName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

}  // namespace

UpdateServer::UpdateServer(ServerConfig config, CheckinStore& store)
    : config_(std::move(config)), store_(store), http_(std::make_unique<httplib::Server>()) {
  Route();
}

UpdateServer::~UpdateServer() { Stop(); }

std::optional<int> UpdateServer::Bind(std::string& error) {
  // A peer that closes early must not end the process with SIGPIPE.
  std::signal(SIGPIPE, SIG_IGN);
  std::string catalog_error;
  if (auto catalog = LoadCatalog(config_.catalog_path, catalog_error)) {
    last_good_catalog_ = std::move(*catalog);
  } else {
    error = catalog_error;
    return std::nullopt;
  }
  const int port = config_.port == 0 ? http_->bind_to_any_port(config_.host)
                                     : (http_->bind_to_port(config_.host, config_.port) ? config_.port : -1);
  if (port <= 0) {
    error = "cannot listen on " + config_.host + ":" + std::to_string(config_.port);
    return std::nullopt;
  }
  return port;
}

bool UpdateServer::Run() { return http_->listen_after_bind(); }

void UpdateServer::Stop() {
  {
    std::lock_guard lock(stop_mutex_);
    stopping_ = true;
  }
  stop_cv_.notify_all();
  http_->stop();
}

void UpdateServer::WaitMs(int ms) {
  std::unique_lock lock(stop_mutex_);
  stop_cv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping_; });
}

void UpdateServer::Route() {
  httplib::Server& s = *http_;
  s.set_payload_max_length(kMaxBodyBytes);

  s.set_pre_routing_handler([](const httplib::Request& req, httplib::Response&) {
    t_exchange = Exchange{};
    // Package ranges are answered by HandlePackage; the library's own range handling
    // would be applied on top of that.
    const_cast<httplib::Request&>(req).ranges.clear();
    return httplib::Server::HandlerResponse::Unhandled;
  });

  if (config_.test_control) {
    s.Get("/_test/requests", [this](const httplib::Request&, httplib::Response& res) {
      t_exchange.handled = true;
      SetJson(res, 200, requests_.ToJson());
    });
    s.Post("/_test/faults",
           [this](const httplib::Request& req, httplib::Response& res) { HandleFaults(req, res); });
    s.Post("/_test/reset", [this](const httplib::Request&, httplib::Response& res) {
      t_exchange.handled = true;
      requests_.Clear();
      faults_.Clear();
      SetJson(res, 200, R"({"code":1,"message":"reset"})");
    });
  }
  s.Get("/packages/([^/]+)",
        [this](const httplib::Request& req, httplib::Response& res) { HandlePackage(req, res); });
  s.Post(".*", [this](const httplib::Request& req, httplib::Response& res) {
    if (req.path == config_.update_path) {
      HandleUpdate(req, res);
      return;
    }
    t_exchange.handled = true;
    Record(req, std::nullopt);
    SetJson(res, 404, ErrorJson("no such path"));
  });

  // Answers the library makes itself (no route, body too large, bad request line)
  // get a JSON body too, and are recorded like every other request.
  s.set_error_handler(
      httplib::Server::HandlerWithResponse([this](const httplib::Request& req, httplib::Response& res) {
        if (t_exchange.handled) return httplib::Server::HandlerResponse::Unhandled;
        Record(req, std::nullopt);
        const std::string message = res.status == 413   ? "request body too large"
                                    : res.status == 404 ? "no such path"
                                                        : "bad request";
        res.set_content(ErrorJson(message), kJsonType);
        return httplib::Server::HandlerResponse::Handled;
      }));

  s.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr ep) {
    t_exchange.handled = true;
    std::string what = "internal error";
    try {
      if (ep) std::rethrow_exception(ep);
    } catch (const std::exception& e) {
      what += std::string(": ") + e.what();
    } catch (...) {
    }
    SetJson(res, 500, ErrorJson(what));
  });

  // Runs after the library has added its own headers, just before they are written.
  s.set_post_routing_handler([](const httplib::Request&, httplib::Response& res) {
    for (const auto& [name, value] : t_exchange.headers) {
      res.headers.erase(name);
      res.headers.emplace(name, value);
    }
    for (const auto& name : t_exchange.omit_headers) {
      res.headers.erase(name);
      if (SameName(name, "Content-Length")) t_exchange.close_after = true;
    }
    if (t_exchange.close_after) {
      res.headers.erase("Keep-Alive");
      res.headers.erase("Connection");
      res.headers.emplace("Connection", "close");
    }
  });

  // Runs once the answer is written.
  s.set_logger([this](const httplib::Request& req, const httplib::Response& res) {
    if (t_exchange.close_after) ShutdownConnection(req);
    if (config_.log_requests) {
      std::cerr << req.method << ' ' << req.target << ' ' << res.status
                << (t_exchange.note.empty() ? "" : " " + t_exchange.note) << std::endl;
    }
    t_exchange = Exchange{};
  });
}

Catalog UpdateServer::CurrentCatalog() {
  // Re-read on every query, so a publish takes effect without a restart; a catalog
  // caught broken keeps the last good one in service.
  std::string error;
  auto catalog = LoadCatalog(config_.catalog_path, error);
  std::lock_guard lock(catalog_mutex_);
  if (catalog) {
    last_good_catalog_ = std::move(*catalog);
  } else {
    std::cerr << "catalog not reloaded: " << error << std::endl;
  }
  return last_good_catalog_;
}

void UpdateServer::Record(const httplib::Request& req, const std::optional<UpdateQuery>& decoded) {
  if (!config_.test_control) return;
  RecordedRequest r;
  r.method = req.method;
  r.target = req.target;
  for (const auto& [name, value] : req.headers) {
    if (!IsPseudoHeader(name)) r.headers.emplace_back(name, value);
  }
  r.body = req.body;
  r.decoded = decoded;
  requests_.Add(std::move(r));
}

void UpdateServer::HandleUpdate(const httplib::Request& req, httplib::Response& res) {
  t_exchange.handled = true;
  DecodeResult decoded = DecodeUpdateBody(req.body);
  Record(req, decoded.query);
  std::optional<Fault> fault = config_.test_control ? faults_.Next(FaultTarget::kUpdate) : std::nullopt;

  if (!decoded.query) {
    t_exchange.note = decoded.error;
    SetJson(res, 400, ErrorJson("bad update query: " + decoded.error));
  } else {
    const UpdateQuery& query = *decoded.query;
    const Catalog catalog = CurrentCatalog();
    ClientHistory history;
    history.now = static_cast<std::int64_t>(std::time(nullptr));
    const std::string uuid = query.FieldOr("UUID", "");
    if (catalog.policy.full_profile_every_days > 0 && !uuid.empty()) {
      history.last_full_profile = store_.LastFullProfile(uuid);
    }
    AnswerResult answer = AnswerQuery(catalog, query, history);
    if (!answer.answer) {
      t_exchange.note = answer.error;
      SetJson(res, 400, ErrorJson("bad update query: " + answer.error));
    } else {
      if (!store_.Record({history.now, req.remote_addr, &query, answer.answer->action})) {
        std::cerr << "check-in not recorded" << std::endl;
      }
      t_exchange.note =
          "action=" + std::to_string(answer.answer->action) + " AppVer=" + query.FieldOr("AppVer", "");
      SetJson(res, 200, answer.answer->json);
    }
  }
  ApplyFault(fault, req, res);
}

void UpdateServer::HandlePackage(const httplib::Request& req, httplib::Response& res) {
  t_exchange.handled = true;
  Record(req, std::nullopt);
  std::optional<Fault> fault = config_.test_control ? faults_.Next(FaultTarget::kPackage) : std::nullopt;

  const std::string name = req.matches[1];
  const std::filesystem::path path = std::filesystem::path(config_.packages_dir) / name;
  std::error_code ec;
  std::shared_ptr<std::ifstream> file;
  std::int64_t size = 0;
  if (IsPlainFileName(name) && std::filesystem::is_regular_file(path, ec)) {
    size = static_cast<std::int64_t>(std::filesystem::file_size(path, ec));
    if (!ec) file = std::make_shared<std::ifstream>(path, std::ios::binary);
  }
  if (!file || !*file) {
    SetJson(res, 404, ErrorJson("no such package"));
  } else if (fault && fault->body) {
    res.status = 200;  // a scripted body stands for the whole answer
  } else {
    const RangeChoice range = ChooseRange(req.get_header_value("Range"), size);
    res.set_header("Accept-Ranges", "bytes");
    if (range.kind == RangeChoice::kUnsatisfiable) {
      res.status = 416;
      res.set_header("Content-Range", ContentRangeValue(range, size));
    } else {
      res.status = range.kind == RangeChoice::kPartial ? 206 : 200;
      if (range.kind == RangeChoice::kPartial)
        res.set_header("Content-Range", ContentRangeValue(range, size));
      if (range.length == 0) {
        res.set_content("", "application/octet-stream");
      } else {
        const std::int64_t first = range.first;
        res.set_content_provider(
            static_cast<std::size_t>(range.length), "application/octet-stream",
            [file, first](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
              char block[65536];
              file->seekg(first + static_cast<std::int64_t>(offset));
              file->read(block, static_cast<std::streamsize>(std::min(length, sizeof block)));
              const std::streamsize got = file->gcount();
              return got > 0 && sink.write(block, static_cast<std::size_t>(got));
            });
      }
    }
  }
  ApplyFault(fault, req, res);
}

void UpdateServer::HandleFaults(const httplib::Request& req, httplib::Response& res) {
  t_exchange.handled = true;
  std::vector<Fault> faults;
  if (std::string error = ParseFaults(req.body, faults); !error.empty()) {
    SetJson(res, 400, ErrorJson(error));
    return;
  }
  const std::size_t count = faults.size();
  faults_.Append(std::move(faults));
  SetJson(res, 200, R"({"code":1,"message":"faults added","data":{"count":)" + std::to_string(count) + "}}");
}

void UpdateServer::ApplyFault(const std::optional<Fault>& fault, const httplib::Request& req,
                              httplib::Response& res) {
  if (!fault) return;
  t_exchange.note += " (fault)";
  if (fault->delay_ms > 0) WaitMs(fault->delay_ms);
  if (fault->drop) {
    ShutdownConnection(req);
    return;
  }
  if (fault->status) res.status = *fault->status;
  if (fault->body) {
    std::string type = res.get_header_value("Content-Type");
    res.set_content(*fault->body, type.empty() ? kJsonType : type);
  }
  t_exchange.omit_headers = fault->omit_headers;
  t_exchange.headers = fault->headers;
}

}  // namespace zel::svc
