#include "Answer.h"

#include <nlohmann/json.hpp>

#include "WireCodec.h"

namespace zel::svc {

namespace {

using nlohmann::json;

std::string Dump(const json& doc) { return doc.dump(-1, ' ', false, json::error_handler_t::replace); }

bool NeedsReinstall(const Catalog& catalog, std::string_view from, std::string_view to) {
  for (const auto& p : catalog.packages) {
    if (p.reinstall && CompareVersions(p.version, from) > 0 && CompareVersions(p.version, to) <= 0)
      return true;
  }
  return false;
}

void AddUpdateUrl(const Policy& policy, bool overHttps, json& data) {
  if (policy.updateUrl.empty() || (overHttps && policy.updateUrl.rfind("http://", 0) == 0)) return;
  data["updateurl"] = HexEncodeText(policy.updateUrl);
}

}  // namespace

bool WantsFullProfile(const Policy& policy, const UpdateQuery& query, const ClientHistory& history) {
  if (query.HasFullProfile()) return false;
  if (policy.wantFullProfile) return true;
  if (policy.fullProfileEveryDays <= 0) return false;
  // Without a UUID the installation cannot be told apart from others, so its
  // history is unknown and it is not asked.
  if (query.FieldOr("UUID", "").empty()) return false;
  if (!history.lastFullProfile) return true;
  const std::int64_t period = std::int64_t{policy.fullProfileEveryDays} * 86400;
  return history.now - *history.lastFullProfile >= period;
}

AnswerResult AnswerQuery(const Catalog& catalog, const UpdateQuery& query, const ClientHistory& history,
                         bool overHttps) {
  AnswerResult result;
  const std::string reported = query.FieldOr("AppVer", "");
  if (!IsVersionText(reported)) {
    result.error = "AppVer is not a version: " + reported.substr(0, 64);
    return result;
  }

  Answer answer;
  json data = json::object();
  std::string message;
  const PackageEntry* offer = catalog.latest.empty() ? nullptr : catalog.Find(catalog.latest);
  if (WantsFullProfile(catalog.policy, query, history)) {
    answer.action = kActionSendFullProfile;
    message = "send the full profile";
  } else if (!offer || CompareVersions(reported, offer->version) >= 0) {
    answer.action = kActionUpToDate;
    message = "up to date";
  } else {
    answer.action = kActionUpdate;
    message = "update available";
    data["updateinfo"] = {{"ver", offer->version},
                          {"size", offer->size},
                          {"hash", offer->md5},
                          {"packageurl", HexEncodeText(offer->url)},
                          {"reinstall", NeedsReinstall(catalog, reported, offer->version) ? 1 : 0}};
    if (!offer->sha256.empty()) data["updateinfo"]["sha256"] = offer->sha256;
  }
  data["action"] = std::to_string(answer.action);
  AddUpdateUrl(catalog.policy, overHttps, data);

  answer.json = Dump({{"code", 1}, {"message", message}, {"data", data}});
  result.answer = std::move(answer);
  return result;
}

std::string TryAgainJson(const Policy& policy, bool overHttps) {
  json data = {{"action", std::to_string(kActionSendFullProfile)}};
  AddUpdateUrl(policy, overHttps, data);
  return Dump({{"code", 1}, {"message", "temporarily unavailable"}, {"data", data}});
}

std::string ErrorJson(std::string_view message) {
  return Dump({{"code", 0}, {"message", std::string(message)}, {"data", nullptr}});
}

}  // namespace zel::svc
