// A request object that plays one scripted attempt, for code that takes its HTTP
// client from the platform (VirtualPlatform::newHttpClient).
#pragma once
#include <string_view>
#include <utility>

#include "system/HttpClient.h"

namespace zel::test {

// One attempt: whether it starts, how often IsDone() answers false before the
// transfer ends (-1: never), and the answer it ends with (status 0: none).
struct Attempt {
  bool starts = true;
  int pollsUntilDone = 0;
  HttpResponse response{};
};

inline Attempt Answer(int status, std::string_view body, int pollsUntilDone = 0) {
  return {true, pollsUntilDone, {status, {}, Bytes(body.begin(), body.end())}};
}

// Every request of this object plays the same attempt.
struct ScriptedClient final : HttpClient {
  explicit ScriptedClient(Attempt attempt) : attempt(std::move(attempt)) {}
  bool Start(const HttpRequest&) override {
    polls = 0;
    return attempt.starts;
  }
  void Wait() override {}
  bool IsDone() const override { return attempt.pollsUntilDone >= 0 && polls++ >= attempt.pollsUntilDone; }
  const HttpResponse* Response() const override {
    return polls > attempt.pollsUntilDone && attempt.response.status ? &attempt.response : nullptr;
  }
  Attempt attempt;
  mutable int polls = 0;
};

}  // namespace zel::test
