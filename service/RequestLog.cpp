#include "RequestLog.h"

#include <nlohmann/json.hpp>

namespace zel::svc {

void RequestLog::Add(RecordedRequest request) {
  std::lock_guard lock(mutex_);
  if (requests_.size() < kMaxRecordedRequests) requests_.push_back(std::move(request));
}

void RequestLog::Clear() {
  std::lock_guard lock(mutex_);
  requests_.clear();
}

std::string RequestLog::ToJson() {
  using nlohmann::json;
  json all = json::array();
  std::lock_guard lock(mutex_);
  for (const auto& r : requests_) {
    json headers = json::array();
    for (const auto& [name, value] : r.headers) headers.push_back({name, value});
    json decoded = nullptr;
    json query = nullptr;
    if (r.decoded) {
      decoded = json::object();
      for (const auto& [name, value] : r.decoded->fields) decoded[name] = value;
      query = r.decoded->text;
    }
    all.push_back({{"method", r.method},
                   {"target", r.target},
                   {"headers", headers},
                   {"body", r.body},
                   {"decoded", decoded},
                   {"query", query}});
  }
  return all.dump(-1, ' ', false, json::error_handler_t::replace);
}

}  // namespace zel::svc
