// The service's answer to one update query: which action the client takes, and the
// JSON text it reads (code, message, data.action, data.updateinfo, data.updateurl).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "Catalog.h"
#include "RequestBody.h"

namespace zel::svc {

inline constexpr int kActionUpToDate = 31;
inline constexpr int kActionSendFullProfile = 32;
inline constexpr int kActionUpdate = 33;

// What the check-in records say about the querying installation.
struct ClientHistory {
  std::int64_t now = 0;                           // seconds since 1970, UTC
  std::optional<std::int64_t> lastFullProfile;  // when it last sent its full profile
};

struct Answer {
  int action = 0;
  std::string json;
};

struct AnswerResult {
  std::optional<Answer> answer;
  std::string error;  // the query cannot be answered (AppVer is no version)
};

// True when the policy wants the full profile and the query carried the short one.
bool WantsFullProfile(const Policy& policy, const UpdateQuery& query, const ClientHistory& history);

// 32 when the full profile is wanted; 31 when nothing newer than AppVer is the
// latest; 33 with the latest package otherwise. Its reinstall flag is set when any
// version above AppVer up to the latest needs a fresh installation.
// A query that came over https never gets an http update-url: no answer moves a
// client to plain http.
AnswerResult AnswerQuery(const Catalog& catalog, const UpdateQuery& query, const ClientHistory& history,
                         bool overHttps = false);

// Action 32 without a full-profile wish: the service cannot record the check-in
// now, and the program asks again at once (with its full profile).
std::string TryAgainJson(const Policy& policy, bool overHttps = false);

// The body of a refused request: {"code":0,"message":...,"data":null}.
std::string ErrorJson(std::string_view message);

}  // namespace zel::svc
