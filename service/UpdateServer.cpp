#include "UpdateServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <microhttpd.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iostream>
#include <thread>

#include "AccessLog.h"
#include "Answer.h"
#include "ByteRange.h"
#include "WireCodec.h"

namespace zel::svc {

namespace {

constexpr const char* kJsonType = "application/json; charset=utf-8";
// Request head (line and headers) and read buffer of one connection.
constexpr std::size_t kConnectionMemory = 32 * 1024;
constexpr unsigned kMaxConnections = 8192;

bool IsPlainFileName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// The address in its usual text form; empty when it is none.
std::string AddressText(const sockaddr* a) {
  char text[INET6_ADDRSTRLEN] = "";
  if (a && a->sa_family == AF_INET) {
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(a)->sin_addr, text, sizeof text);
  } else if (a && a->sa_family == AF_INET6) {
    const in6_addr& v6 = reinterpret_cast<const sockaddr_in6*>(a)->sin6_addr;
    if (IN6_IS_ADDR_V4MAPPED(&v6)) {
      // An IPv4 client of a listener on "::" is named as IPv4, as proxies are configured.
      inet_ntop(AF_INET, &v6.s6_addr[12], text, sizeof text);
    } else {
      inet_ntop(AF_INET6, &v6, text, sizeof text);
    }
  }
  return text;
}

std::string PeerAddress(MHD_Connection* connection) {
  const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
  return info ? AddressText(info->client_addr) : "";
}

// The address of a text in its usual form (so "::0001" matches "::1"); empty when
// the text is no address.
std::string NormalAddress(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  const std::string s(text);
  char out[INET6_ADDRSTRLEN] = "";
  in6_addr v6{};
  in_addr v4{};
  if (inet_pton(AF_INET, s.c_str(), &v4) == 1) return inet_ntop(AF_INET, &v4, out, sizeof out) ? out : "";
  if (inet_pton(AF_INET6, s.c_str(), &v6) == 1) return inet_ntop(AF_INET6, &v6, out, sizeof out) ? out : "";
  return {};
}

bool IsLoopback(const sockaddr* a) {
  if (a->sa_family == AF_INET) {
    return (ntohl(reinterpret_cast<const sockaddr_in*>(a)->sin_addr.s_addr) >> 24) == 127;
  }
  return a->sa_family == AF_INET6 && IN6_IS_ADDR_LOOPBACK(&reinterpret_cast<const sockaddr_in6*>(a)->sin6_addr);
}

std::int64_t SteadyTicks() { return std::chrono::steady_clock::now().time_since_epoch().count(); }

int SocketOf(MHD_Connection* connection) {
  const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
  return info ? info->connect_fd : -1;
}

// Undoes a Content-Encoding of the request body, within the same size limit; on
// failure the status and reason of the refusal.
std::optional<std::string> DecodeContent(const std::string& encoding, const std::string& body, int& status,
                                         std::string& error) {
  if (encoding.empty() || SameName(encoding, "identity")) return body;
  if (!SameName(encoding, "gzip") && !SameName(encoding, "x-gzip") && !SameName(encoding, "deflate")) {
    status = 415;
    error = "unsupported content encoding";
    return std::nullopt;
  }
  InflateResult inflated = InflateZlib(body, kMaxBodyBytes, InflateFormat::kZlibOrGzip);
  if (inflated.status == InflateStatus::kOk) return std::move(inflated.bytes);
  status = inflated.status == InflateStatus::kTooLarge ? 413 : 400;
  error = inflated.status == InflateStatus::kTooLarge ? "request body too large" : "body is not valid " + encoding;
  return std::nullopt;
}

}  // namespace

// One request and its answer, shared by the connection, the check-in writer and
// the timers; whoever answers first wins.
struct UpdateServer::Exchange {
  enum class Phase { kReceiving, kWaiting, kReady, kDelayed, kSent };

  MHD_Connection* connection = nullptr;
  std::string method;
  std::string target;  // the request target as sent
  std::string peer;  // the client: the connection's peer, or whom a trusted proxy names
  std::uint64_t id = 0;  // shown in the log
  bool overHttps = false;  // a trusted proxy says the client came over https
  bool admin = false;      // a request to the admin listener
  std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
  Phase phase = Phase::kReceiving;
  bool started = false;
  std::string body;
  std::optional<Fault> fault;
  bool delayDone = false;
  // An update query that may get a signed answer: the keys it names and its nonce.
  bool signable = false;
  std::string keyIds;
  std::string nonce;

  std::mutex mutex;  // guards answered and the answer while the exchange waits
  bool answered = false;
  int status = 0;
  std::string content;
  std::string contentType = kJsonType;
  std::vector<std::pair<std::string, std::string>> headers;
  int fileFd = -1;  // a package answer: bytes of this file
  std::int64_t fileOffset = 0;
  std::int64_t fileLength = 0;
  std::string note;  // shown in the request log line

  ~Exchange() {
    if (fileFd >= 0) close(fileFd);
  }
  void SetJson(int s, std::string json) {
    status = s;
    content = std::move(json);
    contentType = kJsonType;
  }
};

using ExchangePtr = std::shared_ptr<UpdateServer::Exchange>;

struct ServerCallbacks {
  static void* OnUri(void* self, const char* uri, MHD_Connection* connection) {
    auto x = std::make_shared<UpdateServer::Exchange>();
    x->connection = connection;
    x->target = uri ? uri : "";
    x->peer = PeerAddress(connection);
    x->id = ++static_cast<UpdateServer*>(self)->requestIds_;
    return new ExchangePtr(std::move(x));
  }

  static void* OnAdminUri(void* self, const char* uri, MHD_Connection* connection) {
    auto* holder = static_cast<ExchangePtr*>(OnUri(self, uri, connection));
    (*holder)->admin = true;
    return holder;
  }

  static MHD_Result OnAdminRequest(void* self, MHD_Connection* connection, const char* url, const char* method,
                                   const char*, const char*, std::size_t* uploadSize, void** context) {
    auto* holder = static_cast<ExchangePtr*>(*context);
    if (!holder) return MHD_NO;
    UpdateServer::Exchange& x = **holder;
    if (!x.started) {
      x.started = true;
      x.method = method ? method : "";
      return MHD_YES;
    }
    if (*uploadSize > 0) {  // nothing here takes a body
      *uploadSize = 0;
      return MHD_YES;
    }
    auto* server = static_cast<UpdateServer*>(self);
    server->HandleAdmin(x, url ? url : "");
    return server->Queue(connection, x) ? MHD_YES : MHD_NO;
  }

  // A connection from an address that holds its share already is refused.
  static MHD_Result OnAccept(void* self, const sockaddr* address, socklen_t) {
    auto* server = static_cast<UpdateServer*>(self);
    const std::string text = AddressText(address);
    if (server->IsTrustedProxy(text)) return MHD_YES;
    std::lock_guard lock(server->connectionsMutex_);
    auto it = server->perAddress_.find(text);
    return it == server->perAddress_.end() || it->second < server->config_.connectionsPerAddress ? MHD_YES : MHD_NO;
  }

  static void OnHttpLibraryError(void*, const char* format, va_list args) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    std::string_view message(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.remove_suffix(1);
    zel::svc::Log(LogLevel::kWarn, "http: " + EscapeForLog(message));
  }

  static MHD_Result OnRequest(void* self, MHD_Connection* connection, const char* url, const char* method,
                              const char*, const char* uploadData, std::size_t* uploadSize, void** context) {
    auto* holder = static_cast<ExchangePtr*>(*context);
    if (!holder) return MHD_NO;
    const bool go = static_cast<UpdateServer*>(self)->Handle(connection, *holder, url ? url : "",
                                                             method ? method : "", uploadData, uploadSize);
    return go ? MHD_YES : MHD_NO;
  }

  static void OnCompleted(void* self, MHD_Connection* connection, void** context, MHD_RequestTerminationCode ending) {
    // The connection waits for its next request head from now on.
    if (const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
        info && info->socket_context) {
      static_cast<UpdateServer::ConnectionState*>(info->socket_context)->headAwaitedSince = SteadyTicks();
    }
    auto* holder = static_cast<ExchangePtr*>(*context);
    if (!holder) return;
    UpdateServer::Exchange& x = **holder;
    if (x.phase != UpdateServer::Exchange::Phase::kSent && x.note.empty()) {
      // Never answered by the service: the HTTP library refused the request (a head
      // too large, say), or the connection ended first.
      x.note = ending == MHD_REQUEST_TERMINATED_TIMEOUT_REACHED   ? "timed out"
               : ending == MHD_REQUEST_TERMINATED_DAEMON_SHUTDOWN ? "service stopping"
               : ending == MHD_REQUEST_TERMINATED_READ_ERROR || ending == MHD_REQUEST_TERMINATED_CLIENT_ABORT
                   ? "closed by the client"
                   : "refused by the HTTP layer";
    }
    static_cast<UpdateServer*>(self)->Log(x);
    delete holder;
    *context = nullptr;
  }

  static void OnConnection(void* self, MHD_Connection* connection, void** context,
                           MHD_ConnectionNotificationCode code) {
    auto* server = static_cast<UpdateServer*>(self);
    if (code == MHD_CONNECTION_NOTIFY_CLOSED) {
      // Before the library closes the socket: the sweeper never shuts down a
      // descriptor that has been reused.
      auto* state = static_cast<UpdateServer::ConnectionState*>(*context);
      if (!state) return;
      {
        std::lock_guard lock(server->connectionsMutex_);
        server->connections_.erase(state);
        if (auto it = server->perAddress_.find(state->address); it != server->perAddress_.end() && --it->second == 0)
          server->perAddress_.erase(it);
      }
      delete state;
      *context = nullptr;
      return;
    }
    auto* state = new UpdateServer::ConnectionState;
    state->fd = SocketOf(connection);
    state->address = PeerAddress(connection);
    state->headAwaitedSince = SteadyTicks();
    {
      std::lock_guard lock(server->connectionsMutex_);
      server->connections_.insert(state);
      ++server->perAddress_[state->address];
    }
    *context = state;
    // Answers go out at once, not held back for more data to join them.
    if (state->fd >= 0) {
      const int on = 1;
      setsockopt(state->fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
  }

  static ssize_t ReadString(void* text, std::uint64_t offset, char* buffer, std::size_t max) {
    const std::string& s = *static_cast<std::string*>(text);
    if (offset >= s.size()) return MHD_CONTENT_READER_END_OF_STREAM;
    const std::size_t n = std::min<std::size_t>(max, s.size() - offset);
    std::memcpy(buffer, s.data() + offset, n);
    return static_cast<ssize_t>(n);
  }
  // The text, then a broken connection: an answer cut short of its declared length.
  static ssize_t ReadThenBreak(void* text, std::uint64_t offset, char* buffer, std::size_t max) {
    const ssize_t n = ReadString(text, offset, buffer, max);
    return n == MHD_CONTENT_READER_END_OF_STREAM ? MHD_CONTENT_READER_END_WITH_ERROR : n;
  }
  static void FreeString(void* text) { delete static_cast<std::string*>(text); }
};

UpdateServer::UpdateServer(ServerConfig config, CheckinStore& store) : config_(std::move(config)), store_(store) {}

UpdateServer::~UpdateServer() { Stop(); }

std::optional<int> UpdateServer::Bind(std::string& error) {
  // A peer that closes early must not end the process with SIGPIPE.
  std::signal(SIGPIPE, SIG_IGN);
  bool missing = false;
  auto catalog = LoadCatalog(config_.catalogPath, error, &missing);
  if (!catalog && missing && config_.testControl) {
    // A test world starts its service first and publishes later.
    catalog = Catalog{};
    error.clear();
  }
  if (!catalog) return std::nullopt;

  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV | AI_PASSIVE;
  addrinfo* found = nullptr;
  if (getaddrinfo(config_.host.c_str(), std::to_string(config_.port).c_str(), &hints, &found) != 0 || !found) {
    error = "cannot resolve " + config_.host;
    return std::nullopt;
  }
  if (config_.testControl && !IsLoopback(found->ai_addr)) {
    // The test routes script any answer: only this machine may reach them.
    freeaddrinfo(found);
    error = "--test-control needs a loopback address to listen on (127.0.0.1 or ::1), not " + config_.host;
    return std::nullopt;
  }
  for (const std::string& proxy : config_.trustedProxies) {
    const std::string normal = NormalAddress(proxy);
    if (normal.empty()) {
      freeaddrinfo(found);
      error = "trusted proxy " + proxy + " is not an IP address";
      return std::nullopt;
    }
    trustedProxies_.insert(normal);
  }
  SetLogLevel(config_.logLevel);
  catalog_ = std::make_unique<CatalogWatch>(config_.catalogPath, std::move(*catalog), config_.catalogCheckInterval);
  writer_ = std::make_unique<CheckinWriter>(store_, config_.commitWindow, config_.maxQueuedCheckins);

  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const unsigned threads = config_.threads > 0 ? static_cast<unsigned>(config_.threads) : cores;
  // Room for a burst of new connections while every thread is busy.
  const unsigned backlog = std::max(1024u, 512u * cores);
  unsigned flags = MHD_USE_EPOLL_INTERNAL_THREAD | MHD_ALLOW_SUSPEND_RESUME | MHD_USE_TURBO | MHD_USE_ERROR_LOG;
  if (found->ai_family == AF_INET6) flags |= MHD_USE_IPv6;
  // One thread is the library's own polling thread, not a pool of one (which it
  // warns about).
  MHD_OptionItem pool[] = {{threads > 1 ? MHD_OPTION_THREAD_POOL_SIZE : MHD_OPTION_END, threads, nullptr},
                           {MHD_OPTION_END, 0, nullptr}};
  daemon_ = MHD_start_daemon(
      flags, 0, &ServerCallbacks::OnAccept, this, &ServerCallbacks::OnRequest, this, MHD_OPTION_EXTERNAL_LOGGER,
      &ServerCallbacks::OnHttpLibraryError, this, MHD_OPTION_SOCK_ADDR, found->ai_addr, MHD_OPTION_ARRAY, pool,
      MHD_OPTION_LISTEN_BACKLOG_SIZE, backlog, MHD_OPTION_CONNECTION_LIMIT,
      kMaxConnections, MHD_OPTION_CONNECTION_TIMEOUT, static_cast<unsigned>(config_.idleTimeoutSeconds),
      MHD_OPTION_CONNECTION_MEMORY_LIMIT, kConnectionMemory, MHD_OPTION_URI_LOG_CALLBACK, &ServerCallbacks::OnUri,
      this, MHD_OPTION_NOTIFY_COMPLETED, &ServerCallbacks::OnCompleted, this, MHD_OPTION_NOTIFY_CONNECTION,
      &ServerCallbacks::OnConnection, this, MHD_OPTION_END);
  freeaddrinfo(found);
  if (!daemon_) {
    error = "cannot listen on " + config_.host + ":" + std::to_string(config_.port);
    return std::nullopt;
  }
  const MHD_DaemonInfo* info = MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_BIND_PORT);
  const int port = info ? static_cast<int>(info->port) : config_.port;
  if (config_.adminPort >= 0 && !BindAdmin(error)) {
    MHD_stop_daemon(daemon_);
    daemon_ = nullptr;
    return std::nullopt;
  }
  sweeper_ = std::thread([this] {
    std::unique_lock lock(stopMutex_);
    while (!stopCv_.wait_for(lock, std::chrono::seconds(1), [this] { return stopping_; })) {
      lock.unlock();
      SweepHeads();
      lock.lock();
    }
  });
  return port;
}

std::optional<int> UpdateServer::BindAdmin(std::string& error) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV | AI_PASSIVE;
  addrinfo* found = nullptr;
  const std::string where = config_.adminHost + ":" + std::to_string(config_.adminPort);
  if (getaddrinfo(config_.adminHost.c_str(), std::to_string(config_.adminPort).c_str(), &hints, &found) != 0 ||
      !found) {
    error = "cannot resolve the admin address " + where;
    return std::nullopt;
  }
  // One thread: health checks and scrapes come a few times a minute.
  unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_POLL | MHD_USE_ERROR_LOG;
  if (found->ai_family == AF_INET6) flags |= MHD_USE_IPv6;
  admin_ = MHD_start_daemon(flags, 0, nullptr, nullptr, &ServerCallbacks::OnAdminRequest, this,
                            MHD_OPTION_EXTERNAL_LOGGER, &ServerCallbacks::OnHttpLibraryError, this,
                            MHD_OPTION_SOCK_ADDR, found->ai_addr, MHD_OPTION_CONNECTION_LIMIT, 64u,
                            MHD_OPTION_CONNECTION_TIMEOUT, 10u, MHD_OPTION_URI_LOG_CALLBACK,
                            &ServerCallbacks::OnAdminUri, this, MHD_OPTION_NOTIFY_COMPLETED,
                            &ServerCallbacks::OnCompleted, this, MHD_OPTION_END);
  freeaddrinfo(found);
  if (!admin_) {
    error = "cannot listen on the admin address " + where;
    return std::nullopt;
  }
  const MHD_DaemonInfo* info = MHD_get_daemon_info(admin_, MHD_DAEMON_INFO_BIND_PORT);
  adminPort_ = info ? static_cast<int>(info->port) : config_.adminPort;
  return adminPort_;
}

void UpdateServer::SweepHeads() {
  const auto limit = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                         std::chrono::seconds(config_.headDeadlineSeconds))
                         .count();
  const std::int64_t now = SteadyTicks();
  std::lock_guard lock(connectionsMutex_);
  for (ConnectionState* state : connections_) {
    const std::int64_t since = state->headAwaitedSince;
    if (since != 0 && now - since > limit && state->fd >= 0) {
      // The library sees the connection end and cleans it up.
      state->headAwaitedSince = 0;
      shutdown(state->fd, SHUT_RDWR);
    }
  }
}

bool UpdateServer::Run() {
  if (!daemon_) return false;
  std::unique_lock lock(stopMutex_);
  stopCv_.wait(lock, [this] { return stopped_; });
  return true;
}

void UpdateServer::Stop() {
  {
    std::lock_guard lock(stopMutex_);
    if (stopping_) return;
    stopping_ = true;
  }
  // No new connections from here on; the listening socket is ours to close.
  if (daemon_) {
    if (const MHD_socket listening = MHD_quiesce_daemon(daemon_); listening != MHD_INVALID_SOCKET) close(listening);
  }
  // Queries waiting for the store are committed and answered, scripted delays end.
  if (writer_) writer_->Stop();
  timers_.Stop();
  if (daemon_) {
    // A moment for the answers just resumed to go out before the sockets close.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    MHD_stop_daemon(daemon_);
    daemon_ = nullptr;
  }
  stopCv_.notify_all();  // the sweeper
  if (sweeper_.joinable()) sweeper_.join();
  if (admin_) {
    MHD_stop_daemon(admin_);
    admin_ = nullptr;
  }
  {
    std::lock_guard lock(stopMutex_);
    stopped_ = true;
  }
  stopCv_.notify_all();
}

bool UpdateServer::Stopping() {
  std::lock_guard lock(stopMutex_);
  return stopping_;
}

std::size_t UpdateServer::BodyLimitFor(const std::string& url) const {
  // Fault scripts carry whole answer bodies; the routes exist only with test control.
  constexpr std::size_t kMaxTestControlBytes = 16 * 1024 * 1024;
  return config_.testControl && url.rfind("/_test/", 0) == 0 ? kMaxTestControlBytes : kMaxBodyBytes;
}

bool UpdateServer::Handle(MHD_Connection* connection, const ExchangePtr& x, const std::string& url,
                          const std::string& method, const char* uploadData, std::size_t* uploadSize) {
  const std::size_t bodyLimit = BodyLimitFor(url);
  if (!x->started) {  // the head is in; the body, if any, follows
    x->started = true;
    x->method = method;
    if (const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
        info && info->socket_context) {
      static_cast<ConnectionState*>(info->socket_context)->headAwaitedSince = 0;
    }
    x->peer = ClientAddress(connection, x->peer, x->overHttps);
    const char* length = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH);
    if (!length || std::strtoull(length, nullptr, 10) <= bodyLimit) return true;
    // Refused before a byte of the body is read; the connection closes after it.
    Record(connection, *x, std::nullopt);
    x->note = "request body too large";
    x->SetJson(413, ErrorJson(x->note));
    return Queue(connection, *x);
  }
  if (*uploadSize > 0) {
    if (x->body.size() + *uploadSize > bodyLimit) {
      // A body without a declared length that grows too large: nothing more is
      // read or kept, the connection is closed.
      x->note = "body over the limit";
      return false;
    }
    x->body.append(uploadData, *uploadSize);
    *uploadSize = 0;
    return true;
  }
  if (x->phase == Exchange::Phase::kSent) return true;
  if (x->phase == Exchange::Phase::kReceiving) {
    Dispatch(connection, x, url);
    if (x->phase == Exchange::Phase::kWaiting) return true;  // resumed once answered
  }
  x->phase = Exchange::Phase::kReady;
  if (x->fault && !x->delayDone && x->fault->delayMs > 0 && !Stopping()) {
    x->delayDone = true;
    x->phase = Exchange::Phase::kDelayed;
    MHD_suspend_connection(connection);
    timers_.At(Timers::Clock::now() + std::chrono::milliseconds(x->fault->delayMs),
               [x] { MHD_resume_connection(x->connection); });
    return true;
  }
  if (x->fault && x->fault->drop) {
    // Reset the connection without a byte of answer.
    if (const int fd = SocketOf(connection); fd >= 0) {
      linger reset{1, 0};
      setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
      shutdown(fd, SHUT_RDWR);
    }
    x->note += " (dropped)";
    return false;
  }
  return Queue(connection, *x);
}

void UpdateServer::Dispatch(MHD_Connection* connection, const ExchangePtr& x, const std::string& url) {
  const bool get = x->method == "GET" || x->method == "HEAD";
  const bool post = x->method == "POST";
  if (config_.testControl && url.rfind("/_test/", 0) == 0) {
    if (get && url == "/_test/requests") {
      x->SetJson(200, requests_.ToJson());
      return;
    }
    if (post && url == "/_test/faults") {
      HandleFaults(*x);
      return;
    }
    if (post && url == "/_test/reset") {
      requests_.Clear();
      faults_.Clear();
      x->SetJson(200, R"({"code":1,"message":"reset"})");
      return;
    }
  }
  constexpr std::string_view kPackages = "/packages/";
  if (post && url == config_.updatePath) {
    HandleUpdate(connection, x);
  } else if (get && url.size() > kPackages.size() && url.compare(0, kPackages.size(), kPackages) == 0) {
    Record(connection, *x, std::nullopt);
    HandlePackage(*x, url.substr(kPackages.size()));
  } else {
    Record(connection, *x, std::nullopt);
    x->SetJson(404, ErrorJson("no such path"));
  }
}

void UpdateServer::HandleUpdate(MHD_Connection* connection, const ExchangePtr& x) {
  if (config_.testControl) x->fault = faults_.Next(FaultTarget::kUpdate);
  if (config_.keys && !config_.keys->Empty()) {
    const char* keyIds = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, kKeyIdHeader);
    const char* nonce = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, kNonceHeader);
    x->signable = keyIds && nonce;
    if (x->signable) x->keyIds = keyIds, x->nonce = nonce;
  }
  const char* encoding = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, "Content-Encoding");
  int status = 400;
  std::string error;
  auto body = DecodeContent(encoding ? encoding : "", x->body, status, error);
  DecodeResult decoded;
  if (body) {
    decoded = DecodeUpdateBody(*body);
    error = "bad update query: " + decoded.error;
  }
  Record(connection, *x, decoded.query);
  if (!decoded.query) {
    x->note = error;
    x->SetJson(status, ErrorJson(error));
    return;
  }
  const std::string appVer = decoded.query->FieldOr("AppVer", "");
  if (!IsVersionText(appVer)) {
    x->note = "AppVer is not a version";
    x->SetJson(400, ErrorJson("bad update query: AppVer is not a version"));
    return;
  }
  std::shared_ptr<const Catalog> catalog = catalog_->Current();
  const bool https = x->overHttps;
  if (Stopping()) {
    // A proxy in front passes the query to another replica; the connection closes, so
    // it sends this one nothing more.
    metrics_.CountTryAgain(TryAgainReason::kStopping);
    x->note = "stopping";
    x->SetJson(503, TryAgainJson(catalog->policy, https));
    x->headers.emplace_back("Connection", "close");
    x->headers.emplace_back("Retry-After", "1");
    return;
  }

  auto job = std::make_shared<CheckinJob>();
  job->query = std::move(*decoded.query);
  job->remoteAddr = x->peer;
  job->time = static_cast<std::int64_t>(std::time(nullptr));
  job->deadline = Timers::Clock::now() + config_.answerBudget;
  const Policy& policy = catalog->policy;
  const std::string uuid = job->query.FieldOr("UUID", "");
  if (policy.fullProfileEveryDays > 0 && !policy.wantFullProfile && !uuid.empty() && !job->query.HasFullProfile())
    job->historyUuid = uuid;
  auto answer = std::make_shared<Answer>();
  job->decide = [catalog, answer, https](const CheckinJob& j, std::optional<std::int64_t> lastFull) {
    AnswerResult result = AnswerQuery(*catalog, j.query, ClientHistory{j.time, lastFull}, https);
    if (!result.answer) return 0;
    *answer = std::move(*result.answer);
    return answer->action;
  };
  job->finish = [this, x, answer, catalog, appVer, https](bool committed) {
    if (committed && answer->action != 0) {
      if (Complete(x, 200, answer->json, "action=" + std::to_string(answer->action) + " AppVer=" + appVer))
        metrics_.CountAction(answer->action);
    } else if (Complete(x, 200, TryAgainJson(catalog->policy, https), "check-in not stored: try again")) {
      metrics_.CountTryAgain(TryAgainReason::kStoreFailed);
    }
  };
  x->phase = Exchange::Phase::kWaiting;
  MHD_suspend_connection(connection);
  // Most queries are answered long before; their exchange is not kept for this. The
  // writer drops the job at the same moment, so it is never stored later.
  const auto deadline = job->deadline;
  if (!writer_->Submit(std::move(job))) {
    metrics_.CountTryAgain(TryAgainReason::kQueueFull);
    Complete(x, 200, TryAgainJson(catalog->policy, https), "check-in queue full: try again");
    return;
  }
  timers_.At(deadline, [this, https, weak = std::weak_ptr<Exchange>(x)] {
    if (ExchangePtr waiting = weak.lock()) {
      if (Complete(waiting, 200, TryAgainJson(catalog_->Current()->policy, https),
                   "check-in store too slow: try again"))
        metrics_.CountTryAgain(TryAgainReason::kBudget);
    }
  });
}

std::string UpdateServer::ClientAddress(MHD_Connection* connection, const std::string& peer, bool& overHttps) const {
  overHttps = false;
  if (!IsTrustedProxy(peer)) return peer;
  const char* proto = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, "X-Forwarded-Proto");
  overHttps = proto && SameName(proto, "https");
  const char* forwarded = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, "X-Forwarded-For");
  if (!forwarded) return peer;
  // Each proxy appends the address it took the request from: the last entry that is
  // not one of ours is the client. Entries before it are the client's own word.
  std::string_view list(forwarded);
  while (!list.empty()) {
    const auto comma = list.rfind(',');
    const std::string_view entry = comma == std::string_view::npos ? list : list.substr(comma + 1);
    list = comma == std::string_view::npos ? std::string_view() : list.substr(0, comma);
    const std::string address = NormalAddress(entry);
    if (address.empty()) return peer;  // not what a proxy of ours writes
    if (!IsTrustedProxy(address)) return address;
  }
  return peer;
}

void UpdateServer::HandleAdmin(Exchange& x, const std::string& url) {
  x.contentType = "text/plain; charset=utf-8";
  if (x.method != "GET" && x.method != "HEAD") {
    x.status = 405;
    x.content = "GET only\n";
  } else if (url == "/metrics") {
    x.status = 200;
    x.contentType = "text/plain; version=0.0.4; charset=utf-8";
    x.content = MetricsText();
  } else if (url == "/healthz") {
    bool healthy = false;
    x.content = HealthText(healthy);
    x.status = healthy ? 200 : 503;
  } else {
    x.status = 404;
    x.content = "/healthz or /metrics\n";
  }
}

std::string UpdateServer::HealthText(bool& healthy) {
  // An empty transaction through the writer's own connection: the store takes
  // writes now (a locked SQLite file or an unreachable server does not).
  const std::string store = store_.Insert({});
  const std::string fault = catalog_->Fault();
  healthy = store.empty() && !Stopping();
  std::string text = healthy ? "ok\n" : "unhealthy\n";
  text += "store: " + (store.empty() ? std::string("ok") : EscapeForLog(store)) + "\n";
  // The last good catalog stays in service through a fault: the service is usable,
  // but the file needs a look.
  text += "catalog: " + (fault.empty() ? std::string("ok") : "in service is the last good one; " + EscapeForLog(fault)) +
          "\n";
  if (Stopping()) text += "stopping\n";
  return text;
}

std::string UpdateServer::MetricsText() {
  std::string text = metrics_.Text();
  text += "# TYPE zelupdate_checkin_queue_depth gauge\nzelupdate_checkin_queue_depth " +
          std::to_string(writer_->Queued()) + "\n";
  text += writer_->CommitLatency().Text("zelupdate_commit_seconds");
  text += "# TYPE zelupdate_store_errors_total counter\nzelupdate_store_errors_total " +
          std::to_string(writer_->StoreErrors()) + "\n";
  std::shared_ptr<const Catalog> catalog = catalog_->Current();
  text += "# TYPE zelupdate_catalog_info gauge\nzelupdate_catalog_info{latest=\"" + EscapeForLog(catalog->latest) +
          "\"} 1\n";
  text += "# TYPE zelupdate_catalog_fault gauge\nzelupdate_catalog_fault " +
          std::string(catalog_->Fault().empty() ? "0" : "1") + "\n";
  std::size_t open = 0;
  {
    std::lock_guard lock(connectionsMutex_);
    open = connections_.size();
  }
  text += "# TYPE zelupdate_connections gauge\nzelupdate_connections " + std::to_string(open) + "\n";
  text += "# TYPE zelupdate_log_lines_dropped_total counter\nzelupdate_log_lines_dropped_total " +
          std::to_string(DroppedLogLines()) + "\n";
  return text;
}

bool UpdateServer::Complete(const ExchangePtr& x, int status, std::string json, std::string note) {
  {
    std::lock_guard lock(x->mutex);
    if (x->answered) return false;
    x->answered = true;
    x->SetJson(status, std::move(json));
    x->note = std::move(note);
  }
  MHD_resume_connection(x->connection);
  return true;
}

void UpdateServer::HandlePackage(Exchange& x, const std::string& name) {
  if (config_.testControl) x.fault = faults_.Next(FaultTarget::kPackage);
  const std::string path = config_.packagesDir + "/" + name;
  const int fd = IsPlainFileName(name) ? open(path.c_str(), O_RDONLY | O_CLOEXEC) : -1;
  struct stat st {};
  if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    if (fd >= 0) close(fd);
    x.SetJson(404, ErrorJson("no such package"));
    return;
  }
  x.fileFd = fd;
  const std::int64_t size = st.st_size;
  const char* header = MHD_lookup_connection_value(x.connection, MHD_HEADER_KIND, "Range");
  const RangeChoice range = ChooseRange(header ? header : "", size);
  x.contentType = "application/octet-stream";
  x.headers.emplace_back("Accept-Ranges", "bytes");
  if (range.kind == RangeChoice::kUnsatisfiable) {
    x.status = 416;
    x.headers.emplace_back("Content-Range", ContentRangeValue(range, size));
    x.fileLength = 0;
  } else {
    x.status = range.kind == RangeChoice::kPartial ? 206 : 200;
    if (range.kind == RangeChoice::kPartial) x.headers.emplace_back("Content-Range", ContentRangeValue(range, size));
    x.fileOffset = range.first;
    x.fileLength = range.length;
  }
}

void UpdateServer::HandleFaults(Exchange& x) {
  std::vector<Fault> faults;
  if (std::string error = ParseFaults(x.body, faults); !error.empty()) {
    x.SetJson(400, ErrorJson(error));
    return;
  }
  const std::size_t count = faults.size();
  faults_.Append(std::move(faults));
  x.SetJson(200, R"({"code":1,"message":"faults added","data":{"count":)" + std::to_string(count) + "}}");
}

void UpdateServer::Record(MHD_Connection* connection, Exchange& x, const std::optional<UpdateQuery>& decoded) {
  if (!config_.testControl) return;
  RecordedRequest r;
  r.method = x.method;
  r.target = x.target;
  MHD_get_connection_values(
      connection, MHD_HEADER_KIND,
      [](void* out, MHD_ValueKind, const char* name, const char* value) {
        // Headers without a value carry nothing and are not listed.
        if (name && value && *value) static_cast<RecordedRequest*>(out)->headers.emplace_back(name, value);
        return MHD_YES;
      },
      &r);
  std::stable_sort(r.headers.begin(), r.headers.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  r.body = x.body;
  r.decoded = decoded;
  requests_.Add(std::move(r));
}

bool UpdateServer::Queue(MHD_Connection* connection, Exchange& x) {
  int status = x.status;
  std::string type = x.contentType;
  bool fromFile = x.fileFd >= 0 && status != 404;
  std::optional<std::string> body;
  std::vector<std::string> omit;
  std::optional<std::uint64_t> declaredLength;  // a fault's Content-Length
  auto headers = x.headers;
  if (x.signable) {
    // Signed over the body as it goes out, a scripted one included; a fault's headers
    // may still replace or leave out the signature.
    const std::string& sent = x.fault && x.fault->body ? *x.fault->body : x.content;
    if (auto signature = config_.keys->SignatureFor(x.keyIds, x.nonce, x.body, sent)) {
      x.note += " signed " + signature->substr(0, signature->find(' '));
      headers.emplace_back(kSignatureHeader, std::move(*signature));
    }
  }
  if (x.fault) {
    x.note += " (fault)";
    if (x.fault->body) {
      body = *x.fault->body;
      fromFile = false;
      if (x.fileFd >= 0 && !x.fault->status) status = 200;  // a scripted body stands for the whole package
    }
    if (x.fault->status) status = *x.fault->status;
    omit = x.fault->omitHeaders;
    for (const auto& [name, value] : x.fault->headers) {
      std::erase_if(headers, [&](const auto& h) { return SameName(h.first, name); });
      if (SameName(name, "Content-Type")) {
        type = value;
      } else if (SameName(name, "Content-Length")) {
        declaredLength = std::strtoull(value.c_str(), nullptr, 10);
      } else {
        headers.emplace_back(name, value);
      }
    }
  }
  const auto omitted = [&](std::string_view name) {
    return std::any_of(omit.begin(), omit.end(), [&](const std::string& o) { return SameName(o, name); });
  };

  MHD_Response* response = nullptr;
  if (declaredLength && body && *declaredLength > body->size()) {
    // A scripted body shorter than its declared length: the connection breaks after it.
    response = MHD_create_response_from_callback(*declaredLength, 16384, &ServerCallbacks::ReadThenBreak,
                                                 new std::string(*body), &ServerCallbacks::FreeString);
  } else if (omitted("Content-Length")) {
    // Without a length the answer ends by closing the connection.
    auto* text = new std::string(body ? *body : x.content);
    if (fromFile) {
      text->resize(static_cast<std::size_t>(x.fileLength));
      const ssize_t got = pread(x.fileFd, text->data(), text->size(), x.fileOffset);
      text->resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    }
    response = MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, 16384, &ServerCallbacks::ReadString, text,
                                                 &ServerCallbacks::FreeString);
    if (response) MHD_set_response_options(response, MHD_RF_HTTP_1_0_COMPATIBLE_STRICT, MHD_RO_END);
  } else if (fromFile && x.fileLength > 0) {
    response = MHD_create_response_from_fd_at_offset64(static_cast<std::uint64_t>(x.fileLength), x.fileFd,
                                                       static_cast<std::uint64_t>(x.fileOffset));
    if (response) x.fileFd = -1;  // the response closes it
  } else {
    const std::string& text = body ? *body : (fromFile ? std::string() : x.content);
    response = MHD_create_response_from_buffer(text.size(), const_cast<char*>(text.data()), MHD_RESPMEM_MUST_COPY);
  }
  if (!response) return false;
  if (!omitted("Content-Type")) MHD_add_response_header(response, "Content-Type", type.c_str());
  for (const auto& [name, value] : headers) {
    if (!omitted(name)) MHD_add_response_header(response, name.c_str(), value.c_str());
  }
  x.status = status;
  x.phase = Exchange::Phase::kSent;
  const MHD_Result queued = MHD_queue_response(connection, static_cast<unsigned>(status), response);
  MHD_destroy_response(response);
  return queued == MHD_YES;
}

void UpdateServer::Log(const Exchange& x) {
  const bool sent = x.phase == Exchange::Phase::kSent;
  if (!x.admin) metrics_.CountResponse(sent ? x.status : 0);
  if (!config_.logRequests || x.admin) return;
  const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - x.start;
  char head[64];
  std::snprintf(head, sizeof head, "req=%llx ", static_cast<unsigned long long>(x.id));
  char ms[32];
  std::snprintf(ms, sizeof ms, " %.1fms", took.count());
  std::string line = head + x.peer + " \"" + (x.method.empty() ? "-" : EscapeForLog(x.method)) + " " +
                     EscapeForLog(x.target) + "\" " + (sent ? std::to_string(x.status) : "-") + ms;
  if (!x.note.empty()) line += " " + EscapeForLog(x.note);
  zel::svc::Log(LogLevel::kInfo, line);
}

}  // namespace zel::svc
