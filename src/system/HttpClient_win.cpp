// The system's HTTP client over WinINet. Each client runs its requests on a worker
// thread of its own, so the caller can wait for one or poll it between window
// messages; a request abandoned while under way has its connection closed and
// finishes on its own.
#include <algorithm>
#include <mutex>

#include "system/DelayImports_win.h"
#include "system/Guarded.h"
#include "system/HttpClient.h"
#include "system/Text_win.h"
#include "system/UniqueHandle_win.h"
#include "system/WorkerThread.h"

namespace zel {
namespace {

// Nothing goes into or comes from the system cache, and no cookie, redirect or
// dialog adds a request or a header of its own. (INTERNET_FLAG_PRAGMA_NOCACHE is left
// out on purpose: it adds a "Pragma" header the caller did not ask for.)
constexpr DWORD kRequestFlags =
    INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI;

std::optional<std::string> QueryRawHeaders(HINTERNET request) {
  std::wstring buffer(1024, L'\0');
  for (int tries = 0; tries < 2; ++tries) {
    DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    if (HttpQueryInfoW(request, HTTP_QUERY_RAW_HEADERS_CRLF, buffer.data(), &bytes, nullptr)) {
      buffer.resize(bytes / sizeof(wchar_t));
      return Narrow(buffer);
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return std::nullopt;
    buffer.resize(bytes / sizeof(wchar_t) + 1);
  }
  return std::nullopt;
}

// One request's transfer, shared by the client and the thread that runs it.
class Transfer {
 public:
  Transfer(HttpRequest request, HttpUrl url, const HttpTimeouts& timeouts)
      : request_(std::move(request)), url_(std::move(url)), timeouts_(timeouts) {}

  void Run() {
    // Out of memory for a body ends the transfer as failed, not the program.
    std::optional<HttpResponse> response =
        Guarded<std::optional<HttpResponse>>("HTTP transfer", std::nullopt, [&] { return Perform(); });
    {
      std::lock_guard lock(mutex_);
      if (!abandoned_) response_ = std::move(response);
    }
    done_.Set();
  }

  void WaitDone() const { done_.Wait(); }

  // Closes the session under way, which cuts the connection where the system allows
  // it; Perform then fails and the thread ends.
  void Abandon() {
    std::lock_guard lock(mutex_);
    abandoned_ = true;
    session_.Reset();
  }

  bool IsDone() const { return done_.IsSet(); }
  const HttpResponse* Response() const { return IsDone() && response_ ? &*response_ : nullptr; }

 private:
  std::optional<HttpResponse> Perform() {
    // No agent: the only User-Agent sent is one the caller sets.
    UniqueInternet opened(InternetOpenW(nullptr, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!opened) return std::nullopt;
    HINTERNET session = opened.Get();
    {
      std::lock_guard lock(mutex_);
      if (abandoned_) return std::nullopt;  // closed by its owner on the way out
      session_ = std::move(opened);
    }
    UniqueInternet connection(InternetConnectW(session, Widen(url_.host).c_str(), url_.port, nullptr, nullptr,
                                               INTERNET_SERVICE_HTTP, 0, 0));
    UniqueInternet request;
    // Set on the connection, whose requests take them over when they are opened.
    if (connection && SetTimeouts(connection.Get())) {
      request.Reset(HttpOpenRequestW(connection.Get(), Widen(request_.method).c_str(),
                                     Widen(url_.target).c_str(), nullptr, nullptr, nullptr,
                                     kRequestFlags | (url_.secure ? INTERNET_FLAG_SECURE : 0) |
                                         (request_.followRedirects ? 0 : INTERNET_FLAG_NO_AUTO_REDIRECT),
                                     0));
    }
    std::optional<HttpResponse> response;
    if (request) response = Exchange(request.Get());
    // Closing the session closes its children too: after Abandon they are gone.
    std::lock_guard lock(mutex_);
    if (abandoned_) {
      request.Release();
      connection.Release();
      return std::nullopt;
    }
    request.Reset();
    connection.Reset();
    session_.Reset();
    return response;
  }

  bool SetTimeouts(HINTERNET handle) const {
    for (auto [option, ms] : {std::pair{INTERNET_OPTION_CONNECT_TIMEOUT, timeouts_.connectMs},
                              {INTERNET_OPTION_SEND_TIMEOUT, timeouts_.sendMs},
                              {INTERNET_OPTION_RECEIVE_TIMEOUT, timeouts_.receiveMs}}) {
      DWORD value = ms;
      if (!InternetSetOptionW(handle, option, &value, sizeof value)) return false;
    }
    return true;
  }

  std::optional<HttpResponse> Exchange(HINTERNET request) {
    for (const HttpHeader& header : request_.headers) {
      const std::wstring line = Widen(header.name + ": " + header.value + "\r\n");
      if (!HttpAddRequestHeadersW(request, line.c_str(), static_cast<DWORD>(line.size()),
                                  HTTP_ADDREQ_FLAG_ADD))
        return std::nullopt;
    }
    std::string& body = request_.body;
    if (!HttpSendRequestW(request, nullptr, 0, body.empty() ? nullptr : body.data(),
                          static_cast<DWORD>(body.size())))
      return std::nullopt;

    HttpResponse response;
    DWORD status = 0;
    DWORD size = sizeof(status);
    // A connection closed before any answer can come back as "sent" with status 0.
    if (!HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr) ||
        status < 100 || status > 999)
      return std::nullopt;
    response.status = static_cast<int>(status);
    if (const auto raw = QueryRawHeaders(request)) response.headers = ParseHeaderBlock(*raw);

    if (!ReadBody(request, response.body)) return std::nullopt;
    return response;
  }

  // Reads the body straight into its buffer, sized from the announced length (one
  // byte more, so that the end shows without growing it), in reads as large as the
  // room left: no copy and, for a body of the announced length, no reallocation.
  static bool ReadBody(HINTERNET request, Bytes& body) {
    constexpr std::size_t kFirstRoom = 65536;
    constexpr DWORD kLargestPresize = 16 * 1048576;  // whatever a server announces
    DWORD announced = 0;
    DWORD size = sizeof(announced);
    if (!HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &announced, &size,
                        nullptr))
      announced = 0;
    body.resize(std::max<std::size_t>(std::min(announced, kLargestPresize) + std::size_t{1}, kFirstRoom));
    std::size_t received = 0;
    for (;;) {
      if (received == body.size()) body.resize(body.size() * 2);
      const DWORD room = static_cast<DWORD>(std::min<std::size_t>(body.size() - received, kLargestPresize));
      DWORD read = 0;
      if (!InternetReadFile(request, body.data() + received, room, &read)) return false;
      if (read == 0) break;
      received += read;
    }
    body.resize(received);
    return true;
  }

  HttpRequest request_;
  const HttpUrl url_;
  const HttpTimeouts timeouts_;
  mutable std::mutex mutex_;
  UniqueInternet session_;  // guarded by mutex_
  bool abandoned_ = false;  // guarded by mutex_
  std::optional<HttpResponse> response_;
  DoneSignal done_;
};

class WinInetClient final : public HttpClient {
 public:
  explicit WinInetClient(const HttpTimeouts& timeouts) : timeouts_(timeouts) {}
  ~WinInetClient() override { Drop(); }

  bool Start(const HttpRequest& request) override {
    Drop();
    const auto url = SplitHttpUrl(request.url);
    if (!url) return false;
    // No memory or no thread: the request cannot be started.
    return Guarded("HTTP start", false, [&] {
      auto transfer = std::make_shared<Transfer>(request, *url, timeouts_);
      if (!worker_) worker_ = std::make_unique<WorkerThread>();
      worker_->Run([transfer] { transfer->Run(); });
      transfer_ = std::move(transfer);
      return true;
    });
  }

  void Wait() override {
    if (transfer_) transfer_->WaitDone();
  }

  bool IsDone() const override { return transfer_ && transfer_->IsDone(); }

  const HttpResponse* Response() const override { return transfer_ ? transfer_->Response() : nullptr; }

 private:
  // Ends the relation to the current transfer: one still under way is cut off and
  // left to end by itself (it owns what it uses), and its worker with it.
  void Drop() {
    if (transfer_ && !transfer_->IsDone()) {
      transfer_->Abandon();
      worker_->LetGo();
      worker_.reset();
    }
    transfer_.reset();
  }

  const HttpTimeouts timeouts_;
  std::unique_ptr<WorkerThread> worker_;
  std::shared_ptr<Transfer> transfer_;
};

}  // namespace

std::unique_ptr<HttpClient> CreateHttpClient(const HttpTimeouts& timeouts) {
  return std::make_unique<WinInetClient>(timeouts);
}

}  // namespace zel
