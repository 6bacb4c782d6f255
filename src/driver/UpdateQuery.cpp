#include "driver/UpdateQuery.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "protocol/JsonAnswer.h"
#include "protocol/TextCodecs.h"

namespace zel {
namespace {

constexpr int kActionLatest = 31;
constexpr int kActionWantsFullProfile = 32;
constexpr int kActionUpdateOffered = 33;

bool Contains(std::string_view text, std::string_view word) { return text.find(word) != std::string_view::npos; }

PackageInfo ReadPackageInfo(const JsonAnswer& parsed) {
  return {
      parsed.GetText("data.updateinfo.ver"),          parsed.GetInteger("data.updateinfo.size"),
      parsed.GetText("data.updateinfo.hash"),         parsed.GetText("data.updateinfo.packageurl"),
      parsed.GetInteger("data.updateinfo.reinstall"), parsed.GetText("data.updateinfo.sha256"),
  };
}

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

AnswerReading ReadAnswer(const std::string& answer, const std::string& address) {
  using Next = AnswerReading::Next;
  const auto end = [](std::string status) {
    AnswerReading reading;
    reading.status = std::move(status);
    return reading;
  };
  if (answer.empty()) return end("连接服务器失败:" + address);
  if (!Contains(answer, "message") || !Contains(answer, "code") || !Contains(answer, "data"))
    return end("服务器错误:" + answer);
  const JsonAnswer parsed(answer);
  if (parsed.GetInteger("code") != 1) return end("服务器00错误:" + answer);

  AnswerReading reading;
  reading.accepted = true;
  const std::optional<std::string> updateUrl = parsed.GetText("data.updateurl");
  if (updateUrl && !updateUrl->empty()) reading.updateUrl = HexDecodeText(*updateUrl);

  const std::optional<std::string> actionText = parsed.GetText("data.action");
  if (!actionText || actionText->empty()) {
    reading.status = "服务器01错误:" + answer;
    return reading;
  }
  const std::optional<double> action = ActionNumber(*actionText);
  if (!action) {
    reading.next = Next::kUnexpectedFailure;
  } else if (*action == kActionLatest) {
    reading.status = "版本已更新到最新";
  } else if (*action == kActionWantsFullProfile) {
    reading.next = Next::kAskAgain;
  } else if (*action == kActionUpdateOffered) {
    reading.next = Next::kUpdateOffered;
    reading.package = ReadPackageInfo(parsed);
  } else {
    reading.status = "服务器02错误:" + answer;
  }
  return reading;
}

}  // namespace zel
