#include "driver/AnswerTrust.h"
#include "driver/ServiceAddresses.h"
#include "driver/UpdateQuery.h"
#include "profile/MachineProfile.h"
#include "protocol/FormPost.h"
#include "protocol/RequestBody.h"
#include "settings/CheckSchedule.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsKeys.h"
#include "system/DiagnosticsLog.h"

namespace zel {
namespace {

constexpr int kMaxQueries = 2;

// What the answer asks, for the log; the answer itself never goes there.
std::string AnswerSummary(const AnswerReading& reading, std::size_t answerSize) {
  using Next = AnswerReading::Next;
  std::string summary = std::to_string(answerSize) + " bytes, ";
  if (reading.updateUrl) summary += "new service address, ";
  switch (reading.next) {
    case Next::kEnd:
      return summary + "ends with \"" + reading.status + "\"";
    case Next::kAskAgain:
      return summary + "asks again with the full profile";
    case Next::kUpdateOffered:
      return summary + "offers an update";
    case Next::kUnexpectedFailure:
      return summary + "its action is no number";
  }
  return summary;
}

}  // namespace

QueryResult RunUpdateQuery(const std::string& versionHex, const std::string& levelHex, bool fullProfile,
                           const SettingsFile& settings, std::unique_ptr<ClsWMI>& wmi, ProgressSink& status) {
  using Next = AnswerReading::Next;
  const std::optional<AnswerSealRequest> seal = QuerySeal();
  for (int attempt = 1;; ++attempt) {
    const std::string profile = GetMachineProfile(fullProfile, settings, wmi);
    const std::string body = EncodeRequestBody(BuildQueryText(versionHex, levelHex, profile));
    if (body.empty()) {
      status.SetStatus("获取版本信息失败");
      return {};
    }
    const std::string address = settings.Read(settings::kGeneral, settings::kUpdateURL, kBuiltInUpdateURL);
    status.SetStatus("连接服务器:" + address);
    const PostedAnswer posted = HttpPostSealed(address, body, seal ? &*seal : nullptr);
    const std::string& answer = posted.text;
    SaveLastCheckDate(settings);  // a failed query counts as the day's check too
    WithholdFromLog(answer);

    // Built with keys, nothing of an answer is read before its signature holds.
    if (seal && !answer.empty() && !AnswerIsAuthentic(posted, body)) {
      Log("answer", std::to_string(answer.size()) + " bytes, without a valid signature: not read");
      status.SetStatus("升级信息签名校验失败");
      return {};
    }
    const AnswerReading reading = ReadAnswer(answer, address);
    Log("answer",
        (seal && !answer.empty() ? "signature verified, " : "") + AnswerSummary(reading, answer.size()));
    if (reading.accepted) {
      status.SetStatus("获取升级信息......");
      if (reading.updateUrl) settings.Write(settings::kGeneral, settings::kUpdateURL, *reading.updateUrl);
    }
    switch (reading.next) {
      case Next::kEnd:
        status.SetStatus(reading.status);
        return {};
      case Next::kUnexpectedFailure:
        return {QueryOutcome::kUnexpectedFailure, {}};
      case Next::kUpdateOffered:
        return {QueryOutcome::kUpdateOffered, reading.package};
      case Next::kAskAgain:
        fullProfile = true;
        if (attempt >= kMaxQueries) {
          status.SetStatus("服务器暂时无法访问.");
          return {};
        }
        continue;
    }
  }
}

}  // namespace zel
