// The system's HTTP client over WinINet. Each request runs on a thread of its own, so
// the caller can wait for it or poll it between window messages; a request abandoned
// while under way has its connection closed and finishes on its own.
#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "system/Guarded.h"
#include "system/HttpClient.h"
#include "system/Text_win.h"
#include "system/UniqueHandle_win.h"

namespace zel {
namespace {

// Nothing goes into or comes from the system cache, and no cookie, redirect or
// dialog adds a request or a header of its own. (INTERNET_FLAG_PRAGMA_NOCACHE is left
// out on purpose: it adds a "Pragma" header the caller did not ask for.)
constexpr DWORD kRequestFlags = INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_RELOAD |
                                INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_AUTO_REDIRECT |
                                INTERNET_FLAG_NO_UI;

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
  Transfer(HttpRequest request, HttpUrl url) : request_(std::move(request)), url_(std::move(url)) {}

  void Run() {
    std::optional<HttpResponse> response = Perform();
    {
      std::lock_guard lock(mutex_);
      if (!abandoned_) response_ = std::move(response);
    }
    done_.store(true, std::memory_order_release);
  }

  // Closes the session under way, which cuts the connection where the system allows
  // it; Perform then fails and the thread ends.
  void Abandon() {
    std::lock_guard lock(mutex_);
    abandoned_ = true;
    session_.Reset();
  }

  bool IsDone() const { return done_.load(std::memory_order_acquire); }
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
    if (connection) {
      request.Reset(HttpOpenRequestW(connection.Get(), Widen(request_.method).c_str(),
                                     Widen(url_.target).c_str(), nullptr, nullptr, nullptr,
                                     kRequestFlags | (url_.secure ? INTERNET_FLAG_SECURE : 0), 0));
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

    std::uint8_t chunk[65536];
    for (;;) {
      DWORD read = 0;
      if (!InternetReadFile(request, chunk, sizeof(chunk), &read)) return std::nullopt;
      if (read == 0) break;
      response.body.insert(response.body.end(), chunk, chunk + read);
    }
    return response;
  }

  HttpRequest request_;
  const HttpUrl url_;
  mutable std::mutex mutex_;
  UniqueInternet session_;  // guarded by mutex_
  bool abandoned_ = false;  // guarded by mutex_
  std::optional<HttpResponse> response_;
  std::atomic<bool> done_{false};
};

class WinInetClient final : public HttpClient {
 public:
  ~WinInetClient() override { Drop(); }

  bool Start(const HttpRequest& request) override {
    Drop();
    const auto url = SplitHttpUrl(request.url);
    if (!url) return false;
    // No memory or no thread: the request cannot be started.
    return Guarded(false, [&] {
      auto transfer = std::make_shared<Transfer>(request, *url);
      thread_ = std::thread([transfer] { transfer->Run(); });
      transfer_ = std::move(transfer);
      return true;
    });
  }

  void Wait() override {
    if (thread_.joinable()) thread_.join();
  }

  bool IsDone() const override { return transfer_ && transfer_->IsDone(); }

  const HttpResponse* Response() const override { return transfer_ ? transfer_->Response() : nullptr; }

 private:
  // Ends the relation to the current transfer: a finished one is joined, one still
  // under way is cut off and left to end by itself (it owns what it uses).
  void Drop() {
    if (thread_.joinable()) {
      if (transfer_->IsDone()) {
        thread_.join();
      } else {
        transfer_->Abandon();
        thread_.detach();
      }
    }
    transfer_.reset();
  }

  std::shared_ptr<Transfer> transfer_;
  std::thread thread_;
};

}  // namespace

std::unique_ptr<HttpClient> CreateHttpClient() { return std::make_unique<WinInetClient>(); }

}  // namespace zel
