// A small HTTP client: one request at a time, with the method, URL, headers and body
// the caller gives and nothing else the caller did not ask for; the answer's status,
// headers and body bytes. The transfer runs on its own, so a caller can either wait
// for it or poll it between window messages.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "system/Text.h"

namespace zel {

struct HttpHeader {
  std::string name;
  std::string value;
  bool operator==(const HttpHeader&) const = default;
};

struct HttpRequest {
  std::string method;
  std::string url;
  std::vector<HttpHeader> headers;  // sent in this order
  std::string body;                 // sent as its bytes
  bool followRedirects = false;     // a redirect's target is asked with the same headers
};

struct HttpResponse {
  int status = 0;
  std::vector<HttpHeader> headers;
  Bytes body;

  // Value of the first header of that name (any letter case); "" when there is none.
  std::string Header(std::string_view name) const;
  // Values of every header of that name (any letter case), in their order.
  std::vector<std::string> HeaderValues(std::string_view name) const;
};

// One request object, used for one request after another.
class HttpClient {
 public:
  virtual ~HttpClient() = default;
  // Starts the request, abandoning any earlier one still under way. False when it
  // cannot be started (the URL is not an http or https URL, no thread).
  virtual bool Start(const HttpRequest& request) = 0;
  // Blocks until the request is done: the answer came, or the connection failed, broke
  // or stayed silent for longer than the client's time-outs.
  virtual void Wait() = 0;
  // True once the answer is complete or the transfer has failed.
  virtual bool IsDone() const = 0;
  // The complete answer, or null while not done or when the transfer failed.
  virtual const HttpResponse* Response() const = 0;
};

// How long a request may take to connect, to send its request and to receive each
// part of its answer. The defaults are the ones the system's HTTP stacks document;
// the client sets them itself because not every WinINet has them (Wine's waits for
// an answer for ever).
struct HttpTimeouts {
  std::uint32_t connectMs = 60000;
  std::uint32_t sendMs = 30000;
  std::uint32_t receiveMs = 30000;
};

// The system's client (WinINet). Nothing it fetches is kept in the system cache; no
// cookies; redirects are followed only where the request asks for it. Windows build
// only.
std::unique_ptr<HttpClient> CreateHttpClient(const HttpTimeouts& timeouts = {});

// The parts of an http or https URL that a connection needs.
struct HttpUrl {
  bool secure = false;
  std::string host;  // without brackets for an IPv6 literal
  std::uint16_t port = 0;
  std::string target;  // path and query, at least "/"; the fragment is dropped
};
std::optional<HttpUrl> SplitHttpUrl(std::string_view url);

// Reads a header block as the system returns it: a status line, then name: value
// lines ended by CR LF (or LF). Lines without a colon are skipped.
std::vector<HttpHeader> ParseHeaderBlock(std::string_view block);

}  // namespace zel
