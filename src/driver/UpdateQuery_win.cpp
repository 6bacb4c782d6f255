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
  for (int attempt = 1;; ++attempt) {
    const std::string profile = GetMachineProfile(fullProfile, settings, wmi);
    const std::string body = EncodeRequestBody(BuildQueryText(versionHex, levelHex, profile));
    if (body.empty()) {
      status.SetStatus("获取版本信息失败");
      return {};
    }
    const std::string address = settings.Read(settings::kGeneral, settings::kUpdateURL, kBuiltInUpdateURL);
    status.SetStatus("连接服务器:" + address);
    const std::string answer = HttpPostForm(address, body);
    SaveLastCheckDate(settings);  // a failed query counts as the day's check too

    const AnswerReading reading = ReadAnswer(answer, address);
    WithholdFromLog(answer);
    Log("answer", AnswerSummary(reading, answer.size()));
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
