#include "protocol/FormPost.h"

#include <cstdint>
#include <optional>

#include "protocol/AnswerSignature.h"
#include "system/DiagnosticsLog.h"
#include "system/Guarded.h"
#include "system/Platform.h"
#include "system/Text.h"

namespace zel {
namespace {

constexpr int kAttempts = 3;
constexpr std::uint32_t kRetryWaitMs = 60000;
constexpr int kReadyPolls = 120;
constexpr std::uint32_t kPollWaitMs = 10;
constexpr int kSuccessStatus = 200;

// One attempt: the answer (its text empty for a status other than 200), or nullopt
// when the transfer failed and another attempt is due.
std::optional<PostedAnswer> PostOnce(std::string_view url, std::string_view body,
                                     const AnswerSealRequest* seal, int attempt) {
  const StepTimer timer;
  const auto logAttempt = [&](const std::string& result) {
    Log("post", "attempt " + std::to_string(attempt) + ": " + result + " " + timer.Took());
  };
  HttpRequest request = FormPostRequest(url, body);
  PostedAnswer posted;
  if (seal) {
    posted.nonce = seal->newNonce();
    request.headers.push_back({kKeyIdHeader, seal->keyIds});
    request.headers.push_back({kNonceHeader, posted.nonce});
  }
  const std::unique_ptr<HttpClient> client = CurrentPlatform().NewHttpClient();
  if (!client || !client->Start(request)) {
    logAttempt("could not start");
    return std::nullopt;
  }
  client->Wait();
  // The send has returned; give the window its messages while the state settles.
  for (int poll = 0; poll < kReadyPolls && !client->IsDone(); ++poll) {
    CurrentPlatform().SleepMs(kPollWaitMs);
    CurrentPlatform().PumpMessages();
  }
  const HttpResponse* response = client->Response();
  if (!response) {
    logAttempt("no answer");
    return std::nullopt;
  }
  logAttempt("HTTP " + std::to_string(response->status) + ", " + std::to_string(response->body.size()) +
             " bytes");
  if (response->status != kSuccessStatus) return posted;
  posted.body.assign(reinterpret_cast<const char*>(response->body.data()), response->body.size());
  posted.text = Utf16ToUtf8(Utf8ToUtf16(posted.body));  // invalid UTF-8 becomes U+FFFD
  posted.signatures = response->HeaderValues(kSignatureHeader);
  return posted;
}

}  // namespace

HttpRequest FormPostRequest(std::string_view url, std::string_view body) {
  return HttpRequest{
      "POST",
      std::string(url),
      {
          {"Accept", "*/*"},
          {"Accept-Language", "zh-cn"},
          {"User-Agent", "Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 5.1; Trident/4.0)"},
          {"Content-Type", "application/x-www-form-urlencoded"},
          {"Referer", ""},
          {"Content-Length", std::to_string(body.size())},
          {"Connection", "Keep-Alive"},
          {"Cache-Control", "no-cache"},
      },
      std::string(body),
  };
}

std::string HttpPostForm(std::string_view url, std::string_view body) {
  return HttpPostSealed(url, body, nullptr).text;
}

PostedAnswer HttpPostSealed(std::string_view url, std::string_view body, const AnswerSealRequest* seal) {
  for (int failures = 0;;) {
    // A failure inside the attempt counts as a failed transfer.
    auto answer = Guarded<std::optional<PostedAnswer>>(
        "post attempt", std::nullopt, [&] { return PostOnce(url, body, seal, failures + 1); });
    if (answer) return std::move(*answer);
    if (++failures >= kAttempts) return {};
    CurrentPlatform().SleepMs(kRetryWaitMs);
  }
}

}  // namespace zel
