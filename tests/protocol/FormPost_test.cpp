#include "protocol/FormPost.h"

#include <gtest/gtest.h>

#include <deque>

#include "support/ScriptedHttpClient.h"
#include "support/VirtualPlatform.h"

namespace zel {
namespace {

using test::Answer, test::Attempt;

// Posts with one scripted request object per attempt, on a virtual clock. The answer's
// text, then how many request objects were asked for, and the virtual time, sleeps and
// message pumps the call took.
std::string Post(std::deque<Attempt> attempts) {
  test::VirtualPlatform clock;
  int made = 0;
  clock.newHttpClient = [&]() -> std::unique_ptr<HttpClient> {
    ++made;
    if (attempts.empty()) return nullptr;
    auto client = std::make_unique<test::ScriptedClient>(attempts.front());
    attempts.pop_front();
    return client;
  };
  const std::string text =
      HttpPostForm("http://update.example/zelguard/update1", "size=6&checksum=0&zip=0&data=616263");
  return text + " | " + std::to_string(made) + " made, " + std::to_string(clock.now) + " ms, " +
         std::to_string(clock.sleeps) + " sleeps, " + std::to_string(clock.pumps) + " pumps";
}

TEST(FormPost, AnyStatusEndsTheCallAtOnceAndFailedAttemptsRetryAfterAMinuteThreeTimesAtMost) {
  const std::string answer = "{\"m\":\"\u4E2D\"}", atOnce = " | 1 made, 0 ms, 0 sleeps, 0 pumps";
  for (const int status : {200, 201, 204, 302, 404, 500})
    EXPECT_EQ(Post({Answer(status, answer), Answer(200, "late")}), (status == 200 ? answer : "") + atOnce)
        << status;
  EXPECT_EQ(Post({Answer(200, ""), Answer(200, "late")}), atOnce);
  EXPECT_EQ(Post({Answer(200, "a\xFF")}), "a\uFFFD" + atOnce);

  // Refused, broken, refused; a fourth would have answered.
  EXPECT_EQ(Post({{.starts = false}, {}, {.starts = false}, Answer(200, "x")}),
            " | 3 made, 120000 ms, 2 sleeps, 0 pumps");
  EXPECT_EQ(Post({{}, Answer(200, "second")}), "second | 2 made, 60000 ms, 1 sleeps, 0 pumps");
  EXPECT_EQ(Post({}), " | 3 made, 120000 ms, 2 sleeps, 0 pumps");  // no request object at all
  // 120 polls without an end, a minute's wait, 119 polls and the answer.
  EXPECT_EQ(Post({{.pollsUntilDone = -1}, Answer(200, "just", 119)}),
            "just | 2 made, 62390 ms, 240 sleeps, 239 pumps");
}

}  // namespace
}  // namespace zel
