// The requests a test-controlled service has received, for tests to inspect.
#pragma once

#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "RequestBody.h"

namespace zel::svc {

struct RecordedRequest {
  std::string method;
  std::string target;  // path and query as sent
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  std::optional<UpdateQuery> decoded;  // the update query, when the body was a valid one
};

// Keeps the oldest requests up to a limit, so a long run cannot exhaust memory.
inline constexpr std::size_t kMaxRecordedRequests = 10000;

class RequestLog {
 public:
  void Add(RecordedRequest request);
  void Clear();
  // [{"method","target","headers":[[name,value],...],"body","decoded":{field:value}|null,
  //   "query":text|null}, ...]
  std::string ToJson();

 private:
  std::mutex mutex_;
  std::vector<RecordedRequest> requests_;
};

}  // namespace zel::svc
