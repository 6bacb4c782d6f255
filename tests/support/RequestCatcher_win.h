// The one request catcher of the tests: a bare listener that records the bytes of an
// HTTP request exactly as they arrive on the wire.
#pragma once
#include <windows.h>

#include <atomic>
#include <future>
#include <optional>
#include <string>

namespace zel::test {

// A listener on a free loopback port that takes one HTTP request, keeps its bytes as
// they arrived (the service's log cannot show everything, e.g. headers with empty
// values) and answers it with status 200 and a given body; without a body it never
// answers, and further connections wait in its queue unanswered.
class OneRequestCatcher {
 public:
  explicit OneRequestCatcher(std::optional<std::string> answerBody);
  ~OneRequestCatcher();
  OneRequestCatcher(const OneRequestCatcher&) = delete;
  OneRequestCatcher& operator=(const OneRequestCatcher&) = delete;

  unsigned short Port() const { return port_; }  // 0 when no listener could be made
  // The request's head (request line and header lines, without the blank line) and
  // body; false when none arrived within the time.
  bool Wait(DWORD timeoutMs, std::string& head, std::string& body);

 private:
  void Serve();
  std::optional<std::string> answer_;
  unsigned long long listener_ = ~0ull;  // SOCKET
  unsigned short port_ = 0;
  std::string head_, body_;
  bool caught_ = false;
  std::atomic<bool> ending_{false};
  std::future<void> serving_;  // declared last: joined before the rest goes
};

}  // namespace zel::test
