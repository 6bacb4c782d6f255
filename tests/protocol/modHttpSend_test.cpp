#include "protocol/modHttpSend.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "VirtualClock.h"

namespace zel {
namespace {

// How one attempt's request object behaves.
struct Attempt {
  bool starts = true;
  int pollsUntilDone = 0;  // IsDone() answers false this often first; -1: never done
  std::optional<HttpResponse> response = std::nullopt;
};

class ScriptedClient final : public HttpClient {
 public:
  ScriptedClient(Attempt attempt, std::vector<HttpRequest>& started)
      : attempt_(std::move(attempt)), started_(started) {}
  bool Start(const HttpRequest& request) override {
    started_.push_back(request);
    return attempt_.starts;
  }
  void Wait() override {}
  bool IsDone() const override { return attempt_.pollsUntilDone >= 0 && polls_++ >= attempt_.pollsUntilDone; }
  const HttpResponse* Response() const override {
    return polls_ > attempt_.pollsUntilDone && attempt_.response ? &*attempt_.response : nullptr;
  }

 private:
  Attempt attempt_;
  std::vector<HttpRequest>& started_;
  mutable int polls_ = 0;
};

// Posts with one scripted request object per attempt; records what was started.
struct ScriptedPost {
  std::string Run(std::deque<Attempt> attempts) {
    return HttpPostFormWith(
        [&]() -> std::unique_ptr<HttpClient> {
          if (attempts.empty()) return nullptr;
          auto client = std::make_unique<ScriptedClient>(attempts.front(), started);
          attempts.pop_front();
          return client;
        },
        "http://update.example/zelguard/update1", "size=6&checksum=0&zip=0&data=616263");
  }
  VirtualClock clock;
  std::vector<HttpRequest> started;
};

HttpResponse Answer(int status, std::string_view body) {
  return {status, {}, Bytes(body.begin(), body.end())};
}

TEST(FormPost, RequestCarriesTheEightHeadersInOrder) {
  const HttpRequest request = FormPostRequest("http://h/p", "size=6&checksum=0&zip=0&data=616263");
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.url, "http://h/p");
  EXPECT_EQ(request.body, "size=6&checksum=0&zip=0&data=616263");
  const std::vector<HttpHeader> expected = {
      {"Accept", "*/*"},
      {"Accept-Language", "zh-cn"},
      {"User-Agent", "Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 5.1; Trident/4.0)"},
      {"Content-Type", "application/x-www-form-urlencoded"},
      {"Referer", ""},
      {"Content-Length", "35"},
      {"Connection", "Keep-Alive"},
      {"Cache-Control", "no-cache"},
  };
  EXPECT_EQ(request.headers, expected);
}

TEST(FormPost, AnyStatusEndsTheCallAtOnceAndOnly200GivesText) {
  ScriptedPost post;
  EXPECT_EQ(post.Run({{.response = Answer(200, "{\"m\":\"\xE4\xB8\xAD\"}")}}), "{\"m\":\"\xE4\xB8\xAD\"}");
  EXPECT_EQ(post.Run({{.response = Answer(200, "a\xFF")}}), "a\xEF\xBF\xBD");
  for (const int status : {404, 500, 302, 204})
    EXPECT_EQ(post.Run({{.response = Answer(status, "{}")}, {.response = Answer(200, "late")}}), "")
        << status;
  EXPECT_EQ(post.Run({{.response = Answer(200, "")}, {.response = Answer(200, "late")}}), "");
  EXPECT_EQ(post.started.size(), 7u);
  EXPECT_TRUE(post.clock.events.empty());
}

TEST(FormPost, PollsWithSleepAndPumpUntilComplete) {
  ScriptedPost post;
  EXPECT_EQ(post.Run({{.pollsUntilDone = 2, .response = Answer(200, "ok")}}), "ok");
  EXPECT_EQ(post.clock.events, (std::vector<std::string>{"sleep 10", "pump", "sleep 10", "pump"}));
}

TEST(FormPost, FailedTransfersRetryWithANewRequestAfterAMinuteThreeTimesAtMost) {
  ScriptedPost gaveUp;  // refused, broken, refused; a fourth would have answered
  EXPECT_EQ(gaveUp.Run({{.starts = false}, {}, {.starts = false}, {.response = Answer(200, "x")}}), "");
  EXPECT_EQ(gaveUp.started.size(), 3u);
  EXPECT_EQ(gaveUp.clock.events, (std::vector<std::string>{"sleep 60000", "sleep 60000"}));

  ScriptedPost recovered;
  EXPECT_EQ(recovered.Run({{}, {.response = Answer(200, "second")}}), "second");
  EXPECT_EQ(recovered.clock.events, std::vector<std::string>{"sleep 60000"});

  ScriptedPost noObject;
  EXPECT_EQ(noObject.Run({}), "");
  EXPECT_EQ(noObject.clock.now, 120000u);
}

TEST(FormPost, AnswerNotCompleteAfter120PollsIsAFailedAttempt) {
  ScriptedPost post;
  EXPECT_EQ(post.Run({{.pollsUntilDone = -1}, {.pollsUntilDone = 119, .response = Answer(200, "just")}}),
            "just");
  const std::vector<std::string>& e = post.clock.events;
  ASSERT_EQ(e.size(), 240u + 1u + 238u);
  EXPECT_EQ(e[239], "pump");
  EXPECT_EQ(e[240], "sleep 60000");
  EXPECT_EQ(post.clock.now, 120u * 10 + 60000 + 119u * 10);
}

TEST(HttpUrl, SplitsHttpAndHttpsUrls) {
  auto url = SplitHttpUrl("http://update.example/zelguard/update1?x=1#frag");
  ASSERT_TRUE(url);
  EXPECT_FALSE(url->secure);
  EXPECT_EQ(url->host, "update.example");
  EXPECT_EQ(url->port, 80);
  EXPECT_EQ(url->target, "/zelguard/update1?x=1");

  url = SplitHttpUrl("HTTPS://127.0.0.1:8443");
  ASSERT_TRUE(url);
  EXPECT_TRUE(url->secure);
  EXPECT_EQ(url->port, 8443);
  EXPECT_EQ(url->target, "/");

  url = SplitHttpUrl("http://[::1]:65535?q");
  ASSERT_TRUE(url);
  EXPECT_EQ(url->host, "::1");
  EXPECT_EQ(url->port, 65535);
  EXPECT_EQ(url->target, "/?q");
}

TEST(HttpUrl, RefusesWhatIsNoHttpUrl) {
  for (const char* bad : {"", "update.example/x", "ftp://h/", "http://", "http:///x", "http://h:/",
                          "http://h:0/", "http://h:65536/", "http://h:8o/", "http://u:p@h/", "http://[::1/",
                          "http://[::1]x/", "http://h h/", "http://h/a\nb"}) {
    EXPECT_FALSE(SplitHttpUrl(bad)) << bad;
  }
}

TEST(HttpHeaders, ParsesTheSystemsHeaderBlock) {
  const auto headers = ParseHeaderBlock(
      "HTTP/1.1 206 Partial: Content\r\nContent-Range:  bytes 0-9/100 \r\nX-Empty:\r\n"
      "junk line\r\nServer: a:b\nContent-range: second\r\n\r\n");
  const std::vector<HttpHeader> expected = {
      {"Content-Range", "bytes 0-9/100"}, {"X-Empty", ""}, {"Server", "a:b"}, {"Content-range", "second"}};
  EXPECT_EQ(headers, expected);
  const HttpResponse response{206, headers, {}};
  EXPECT_EQ(response.Header("content-range"), "bytes 0-9/100");
  EXPECT_EQ(response.Header("Location"), "");
}

}  // namespace
}  // namespace zel
