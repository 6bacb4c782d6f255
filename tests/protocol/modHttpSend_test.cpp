#include "protocol/modHttpSend.h"

#include <gtest/gtest.h>

#include <deque>

#include "system/VirtualClockSeam.h"

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
  explicit ScriptedClient(Attempt attempt) : attempt_(std::move(attempt)) {}
  bool Start(const HttpRequest&) override { return attempt_.starts; }
  void Wait() override {}
  bool IsDone() const override { return attempt_.pollsUntilDone >= 0 && polls_++ >= attempt_.pollsUntilDone; }
  const HttpResponse* Response() const override {
    return polls_ > attempt_.pollsUntilDone && attempt_.response ? &*attempt_.response : nullptr;
  }

 private:
  Attempt attempt_;
  mutable int polls_ = 0;
};

// Posts with one scripted request object per attempt, on a virtual clock.
struct ScriptedPost {
  std::string Run(std::deque<Attempt> attempts) {
    return HttpPostFormWith(
        [&]() -> std::unique_ptr<HttpClient> {
          ++made;
          if (attempts.empty()) return nullptr;
          auto client = std::make_unique<ScriptedClient>(attempts.front());
          attempts.pop_front();
          return client;
        },
        "http://update.example/zelguard/update1", "size=6&checksum=0&zip=0&data=616263");
  }
  test::VirtualClockSeam clock;
  int made = 0;
};

Attempt Answer(int status, std::string_view body) {
  return {.response = HttpResponse{status, {}, Bytes(body.begin(), body.end())}};
}

TEST(FormPost, AnyStatusEndsTheCallAtOnceAndOnly200GivesText) {
  const struct {
    Attempt first;
    std::string expected;
  } cases[] = {
      {Answer(200, "{\"m\":\"\xE4\xB8\xAD\"}"), "{\"m\":\"\xE4\xB8\xAD\"}"},
      {Answer(200, "a\xFF"), "a\xEF\xBF\xBD"},
      {Answer(200, ""), ""},
      {Answer(404, "{}"), ""},
      {Answer(500, "{}"), ""},
      {Answer(302, "{}"), ""},
  };
  for (const auto& c : cases) {
    ScriptedPost post;
    EXPECT_EQ(post.Run({c.first, Answer(200, "late")}), c.expected) << c.first.response->status;
    EXPECT_EQ(post.made, 1);
    EXPECT_EQ(post.clock.now, 0u);
  }
}

TEST(FormPost, FailedTransfersRetryWithANewRequestAfterAMinuteThreeTimesAtMost) {
  ScriptedPost gaveUp;  // refused, broken, refused; a fourth would have answered
  EXPECT_EQ(gaveUp.Run({{.starts = false}, {}, {.starts = false}, Answer(200, "x")}), "");
  EXPECT_EQ(gaveUp.made, 3);
  EXPECT_EQ(gaveUp.clock.now, 120000u);
  EXPECT_EQ(gaveUp.clock.sleeps, 2);

  ScriptedPost recovered;
  EXPECT_EQ(recovered.Run({{}, Answer(200, "second")}), "second");
  EXPECT_EQ(recovered.clock.now, 60000u);

  ScriptedPost noObject;
  EXPECT_EQ(noObject.Run({}), "");
  EXPECT_EQ(noObject.clock.now, 120000u);
}

TEST(FormPost, PollsEveryTenMillisecondsWithMessagesAndFailsAnAttemptAfter120) {
  ScriptedPost post;
  EXPECT_EQ(post.Run({{.pollsUntilDone = -1}, {.pollsUntilDone = 119, .response = Answer(200, "just").response}}),
            "just");
  EXPECT_EQ(post.clock.now, 120u * 10 + 60000 + 119u * 10);
  EXPECT_EQ(post.clock.pumps, 120 + 119);
}

TEST(HttpUrl, SplitsHttpAndHttpsUrlsAndRefusesOthers) {
  const auto url = SplitHttpUrl("HTTPS://[::1]:8443?q#frag");
  ASSERT_TRUE(url);
  EXPECT_EQ(std::tie(url->secure, url->host, url->port, url->target), std::make_tuple(true, "::1", 8443, "/?q"));
  EXPECT_EQ(SplitHttpUrl("http://update.example")->port, 80);
  for (const char* bad : {"", "update.example/x", "ftp://h/", "http://", "http://h:/", "http://h:0/",
                          "http://h:65536/", "http://h:8o/", "http://u:p@h/", "http://[::1/", "http://h/a\nb"})
    EXPECT_FALSE(SplitHttpUrl(bad)) << bad;
}

}  // namespace
}  // namespace zel
