// Scripted faults for tests: each fault changes the answer to one following request
// (an update POST, or a package GET when its "on" is "package"), in the order given.
#pragma once

#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zel::svc {

enum class FaultTarget { kUpdate, kPackage };

struct Fault {
  FaultTarget on = FaultTarget::kUpdate;
  std::optional<int> status;                                 // replaces the status
  std::optional<std::string> body;                           // replaces the body
  int delayMs = 0;                                          // wait before answering
  bool drop = false;                                         // close the connection without any answer
  std::vector<std::string> omitHeaders;                      // leave these out of the answer
  std::vector<std::pair<std::string, std::string>> headers;  // add or replace these
};

// Longest delay a fault may ask for.
inline constexpr int kMaxFaultDelayMs = 600000;

// Parses {"status":int?, "body":string?, "delay_ms":int?, "drop":bool?,
// "omit_headers":[name,...]?, "headers":[[name,value],...]?, "on":"update"|"package"?}
// objects from a JSON array. Unknown members are refused, so a typo does not pass
// silently. Empty error on success.
std::string ParseFaults(std::string_view jsonText, std::vector<Fault>& faults);

class FaultScript {
 public:
  void Append(std::vector<Fault> faults);
  // The next fault for a request of this kind, removed from the script.
  std::optional<Fault> Next(FaultTarget target);
  void Clear();

 private:
  std::mutex mutex_;
  std::deque<Fault> update_;
  std::deque<Fault> package_;
};

}  // namespace zel::svc
