// The update query and the reading of its answer: at most two POSTs, each recorded as
// the day's check, ending in a status message or in an offered update. What an answer
// means is decided by portable rules; the loop around them posts through the
// platform's HTTP client and keeps its state in config.dat.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "system/ProgressSink.h"

namespace zel {

class ClsWMI;
class SettingsFile;

// The members of "data.updateinfo" that the package steps use; absent when the
// answer holds no value of the expected kind there.
struct PackageInfo {
  std::optional<std::string> version;     // ver
  std::optional<std::int32_t> size;       // size, bytes
  std::optional<std::string> hash;        // hash, MD5 as hex
  std::optional<std::string> packageUrl;  // packageurl, hex of the UTF-8 address
  std::optional<std::int32_t> reinstall;  // 1: a fresh elevated installation is needed
  std::optional<std::string> sha256;      // sha256, SHA-256 as hex (signed answers)
};

// What one answer asks of the run.
struct AnswerReading {
  enum class Next {
    kEnd,              // show `status` and end
    kAskAgain,         // action 32: query once more with the full profile
    kUpdateOffered,    // action 33: the answer describes the package
    kUnexpectedFailure,  // an action that is no number: common ending without status
  };
  Next next = Next::kEnd;
  bool accepted = false;                // a service answer with code 1: its information is read
  std::string status;                   // the message to show (kEnd)
  std::optional<std::string> updateUrl;  // a new service address to store (already decoded)
  PackageInfo package;                   // what the answer says of the package (kUpdateOffered)
};

// Reads the answer text of one POST ("" when the POST failed), parsing it once;
// address is the one the query went to, for the failure message.
AnswerReading ReadAnswer(const std::string& answer, const std::string& address);

// "AppVer=<hex>&ExecutionLevel=<hex>", then "&" and the profile when there is one.
std::string BuildQueryText(const std::string& versionHex, const std::string& levelHex, const std::string& profile);

// The action text as a number ("31", " 32 ", "31.0", "3.1e1"); nothing for a text that is no number.
std::optional<double> ActionNumber(std::string_view text);

enum class QueryOutcome {
  kEnded,              // a status message was shown; the run goes to the common ending
  kUpdateOffered,      // action 33: the answer describes the package
  kUnexpectedFailure,  // an action that is no number: common ending without status
};

struct QueryResult {
  QueryOutcome outcome = QueryOutcome::kEnded;
  PackageInfo package;  // kUpdateOffered
};

// The query loop (Windows build): the profile of this machine (wmi is the run's
// shared instance), the service address from "UpdateURL" or the built-in one, the
// check date stored right after every POST.
QueryResult RunUpdateQuery(const std::string& versionHex, const std::string& levelHex, bool fullProfile,
                           const SettingsFile& settings, std::unique_ptr<ClsWMI>& wmi, ProgressSink& status);

}  // namespace zel
