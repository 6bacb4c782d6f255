// The update query and the reading of its answer: at most two POSTs, each recorded as
// the day's check, ending in a status message or in an offered update. The outside
// world comes in as function objects so the whole loop runs in tests without a network.
#pragma once
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "system/ProgressSink.h"

namespace zel {

struct QueryWorld {
  std::function<std::string(bool full)> machineProfile;    // the profile text, "" when none
  std::function<std::string()> serviceAddress;             // "UpdateURL" or the built-in address
  std::function<std::string(const std::string& url, const std::string& body)> post;  // "" when no answer
  std::function<void()> saveCheckDate;                     // right after every POST
  std::function<void(const std::string& url)> storeServiceAddress;
};

enum class QueryOutcome {
  kEnded,              // a status message was shown; the run goes to the common ending
  kUpdateOffered,      // action 33: the answer describes the package
  kUnexpectedFailure,  // an action that is no number: common ending without status
};

struct QueryResult {
  QueryOutcome outcome = QueryOutcome::kEnded;
  std::string answer;
};

// "AppVer=<hex>&ExecutionLevel=<hex>", then "&" and the profile when there is one.
std::string BuildQueryText(const std::string& versionHex, const std::string& levelHex, const std::string& profile);

// The action text as a number ("31", " 32 ", "31.0", "3.1e1"); nothing for a text that is no number.
std::optional<double> ActionNumber(std::string_view text);

QueryResult RunUpdateQuery(const std::string& versionHex, const std::string& levelHex, bool fullProfile,
                           const QueryWorld& world, ProgressSink& status);

}  // namespace zel
