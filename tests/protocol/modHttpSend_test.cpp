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
  int pollsUntilDone = 0;  // IsDone() calls answered false first; -1: never done
  std::optional<HttpResponse> response;
};

class ScriptedClients {
 public:
  explicit ScriptedClients(std::deque<Attempt> attempts) : attempts_(std::move(attempts)) {}

  HttpClientFactory Factory() {
    return [this]() -> std::unique_ptr<HttpClient> {
      if (attempts_.empty()) return nullptr;
      auto client = std::make_unique<Client>(this, attempts_.front());
      attempts_.pop_front();
      return client;
    };
  }

  std::vector<HttpRequest> started;

 private:
  class Client final : public HttpClient {
   public:
    Client(ScriptedClients* owner, Attempt attempt) : owner_(owner), attempt_(std::move(attempt)) {}
    bool Start(const HttpRequest& request) override {
      owner_->started.push_back(request);
      return attempt_.starts;
    }
    void Wait() override {}
    bool IsDone() const override {
      if (attempt_.pollsUntilDone < 0) return false;
      return polls_++ >= attempt_.pollsUntilDone;
    }
    const HttpResponse* Response() const override {
      return polls_ > attempt_.pollsUntilDone && attempt_.response ? &*attempt_.response : nullptr;
    }

   private:
    ScriptedClients* owner_;
    Attempt attempt_;
    mutable int polls_ = 0;
  };

  std::deque<Attempt> attempts_;
};

HttpResponse Answer(int status, std::string_view body) {
  return HttpResponse{status, {}, Bytes(body.begin(), body.end())};
}

constexpr const char* kUrl = "http://update.example/zelguard/update1";
constexpr const char* kBody = "size=6&checksum=0&zip=0&data=616263";

TEST(FormPost, RequestCarriesTheEightHeadersInOrder) {
  const HttpRequest request = FormPostRequest(kUrl, kBody);
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.url, kUrl);
  EXPECT_EQ(request.body, kBody);
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

TEST(FormPost, Status200ReturnsTheAnswerTextAfterOneAttempt) {
  VirtualClock clock;
  ScriptedClients clients({{.response = Answer(200, "{\"code\":1,\"m\":\"\xE4\xB8\xAD\"}")}});
  EXPECT_EQ(HttpPostFormWith(clients.Factory(), kUrl, kBody), "{\"code\":1,\"m\":\"\xE4\xB8\xAD\"}");
  EXPECT_EQ(clients.started.size(), 1u);
  EXPECT_TRUE(clock.events.empty());

  ScriptedClients empty({{.response = Answer(200, "")}, {.response = Answer(200, "x")}});
  EXPECT_EQ(HttpPostFormWith(empty.Factory(), kUrl, kBody), "");
  EXPECT_EQ(empty.started.size(), 1u);

  ScriptedClients invalid({{.response = Answer(200, "a\xFF")}});
  EXPECT_EQ(HttpPostFormWith(invalid.Factory(), kUrl, kBody), "a\xEF\xBF\xBD");
}

TEST(FormPost, OtherStatusEndsAtOnceWithoutWaiting) {
  for (const int status : {404, 500, 302, 204}) {
    VirtualClock clock;
    ScriptedClients clients(
        {{.response = Answer(status, "{\"code\":1}")}, {.response = Answer(200, "late")}});
    EXPECT_EQ(HttpPostFormWith(clients.Factory(), kUrl, kBody), "") << status;
    EXPECT_EQ(clients.started.size(), 1u) << status;
    EXPECT_EQ(clock.now, 0u) << status;
  }
}

TEST(FormPost, PollsWithSleepAndPumpUntilComplete) {
  VirtualClock clock;
  ScriptedClients clients({{.pollsUntilDone = 2, .response = Answer(200, "ok")}});
  EXPECT_EQ(HttpPostFormWith(clients.Factory(), kUrl, kBody), "ok");
  EXPECT_EQ(clock.events, (std::vector<std::string>{"sleep 10", "pump", "sleep 10", "pump"}));
}

TEST(FormPost, ThreeFailedAttemptsWithTwoMinuteWaitsBetween) {
  VirtualClock clock;
  ScriptedClients clients(
      {{.starts = false}, {.pollsUntilDone = 0}, {.starts = false}, {.response = Answer(200, "x")}});
  EXPECT_EQ(HttpPostFormWith(clients.Factory(), kUrl, kBody), "");
  EXPECT_EQ(clients.started.size(), 3u);
  EXPECT_EQ(clock.events, (std::vector<std::string>{"sleep 60000", "sleep 60000"}));
  EXPECT_EQ(clock.now, 120000u);
}

TEST(FormPost, RecoversOnALaterAttemptWithAFreshRequest) {
  VirtualClock clock;
  ScriptedClients clients({{.pollsUntilDone = 0}, {.response = Answer(200, "second")}});
  EXPECT_EQ(HttpPostFormWith(clients.Factory(), kUrl, kBody), "second");
  EXPECT_EQ(clients.started.size(), 2u);
  EXPECT_EQ(clock.events, std::vector<std::string>{"sleep 60000"});
}

TEST(FormPost, AnswerNotCompleteAfter120PollsIsAFailedAttempt) {
  VirtualClock clock;
  ScriptedClients clients({{.pollsUntilDone = -1}, {.pollsUntilDone = 119, .response = Answer(200, "just")}});
  EXPECT_EQ(HttpPostFormWith(clients.Factory(), kUrl, kBody), "just");
  const std::vector<std::string>& e = clock.events;
  ASSERT_EQ(e.size(), 240u + 1u + 238u);
  EXPECT_EQ(e[239], "pump");
  EXPECT_EQ(e[240], "sleep 60000");
  EXPECT_EQ(clock.now, 120u * 10 + 60000 + 119u * 10);
}

TEST(FormPost, NoRequestObjectCountsAsAFailedAttempt) {
  VirtualClock clock;
  ScriptedClients none({});
  EXPECT_EQ(HttpPostFormWith(none.Factory(), kUrl, kBody), "");
  EXPECT_EQ(clock.now, 120000u);
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
