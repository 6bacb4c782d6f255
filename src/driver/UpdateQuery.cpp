#include "driver/UpdateQuery.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "protocol/JsonAnswer.h"
#include "protocol/TextCodecs.h"
#include "protocol/RequestBody.h"

namespace zel {
namespace {

constexpr int kActionLatest = 31;
constexpr int kActionWantsFullProfile = 32;
constexpr int kActionUpdateOffered = 33;
constexpr int kMaxQueries = 2;

bool Contains(std::string_view text, std::string_view word) { return text.find(word) != std::string_view::npos; }

}  // namespace

std::string BuildQueryText(const std::string& versionHex, const std::string& levelHex, const std::string& profile) {
  std::string query = "AppVer=" + versionHex + "&ExecutionLevel=" + levelHex;
  if (!profile.empty()) query += "&" + profile;
  return query;
}

std::optional<double> ActionNumber(std::string_view text) {
  const std::string s(text);
  const char* begin = s.c_str();
  while (*begin == ' ' || *begin == '\t') ++begin;
  if (*begin == '\0') return std::nullopt;
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(begin, &end);
  if (end == begin || errno == ERANGE || !std::isfinite(value)) return std::nullopt;
  // Only digits, sign, point and exponent make a number; "0x1F", "inf" and "nan" do not.
  for (const char* p = begin; p < end; ++p)
    if (!(std::isdigit(static_cast<unsigned char>(*p)) || *p == '+' || *p == '-' || *p == '.' || *p == 'e' ||
          *p == 'E'))
      return std::nullopt;
  while (*end == ' ' || *end == '\t') ++end;
  if (*end != '\0') return std::nullopt;
  return value;
}

QueryResult RunUpdateQuery(const std::string& versionHex, const std::string& levelHex, bool fullProfile,
                           const QueryWorld& world, ProgressSink& status) {
  auto ending = [&status](const std::string& message) {
    status.SetStatus(message);
    return QueryResult{QueryOutcome::kEnded, {}};
  };
  for (int attempt = 1;; ++attempt) {
    const std::string query = BuildQueryText(versionHex, levelHex, world.machineProfile(fullProfile));
    const std::string body = EncodeRequestBody(query);
    if (body.empty()) return ending("获取版本信息失败");

    const std::string address = world.serviceAddress();
    status.SetStatus("连接服务器:" + address);
    const std::string answer = world.post(address, body);
    world.saveCheckDate();  // a failed query counts as the day's check too

    if (answer.empty()) return ending("连接服务器失败:" + address);
    if (!Contains(answer, "message") || !Contains(answer, "code") || !Contains(answer, "data"))
      return ending("服务器错误:" + answer);
    const JsonAnswer parsed(answer);
    if (parsed.GetInteger("code") != 1) return ending("服务器00错误:" + answer);
    status.SetStatus("获取升级信息......");

    const std::optional<std::string> updateUrl = parsed.GetText("data.updateurl");
    if (updateUrl && !updateUrl->empty()) world.storeServiceAddress(HexDecodeText(*updateUrl));

    const std::optional<std::string> actionText = parsed.GetText("data.action");
    if (!actionText || actionText->empty()) return ending("服务器01错误:" + answer);
    const std::optional<double> action = ActionNumber(*actionText);
    if (!action) return {QueryOutcome::kUnexpectedFailure, {}};

    if (*action == kActionLatest) return ending("版本已更新到最新");
    if (*action == kActionWantsFullProfile) {
      fullProfile = true;
      if (attempt >= kMaxQueries) return ending("服务器暂时无法访问.");
      continue;
    }
    if (*action != kActionUpdateOffered) return ending("服务器02错误:" + answer);
    return {QueryOutcome::kUpdateOffered, answer};
  }
}

}  // namespace zel
