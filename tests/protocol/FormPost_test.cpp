#include "protocol/FormPost.h"

#include <gtest/gtest.h>

#include <deque>

#include "support/ScriptedHttpClient.h"
#include "support/VirtualPlatform.h"

namespace zel {
namespace {

using test::Answer;
using test::Attempt;
using test::ScriptedClient;

// Posts with one scripted request object per attempt, on a virtual clock.
struct ScriptedPost {
  std::string Run(std::deque<Attempt> attempts) {
    clock.newHttpClient = [&]() -> std::unique_ptr<HttpClient> {
      ++made;
      if (attempts.empty()) return nullptr;
      auto client = std::make_unique<ScriptedClient>(attempts.front());
      attempts.pop_front();
      return client;
    };
    return HttpPostForm("http://update.example/zelguard/update1", "size=6&checksum=0&zip=0&data=616263");
  }
  test::VirtualPlatform clock;
  int made = 0;
};

TEST(FormPost, AnyStatusEndsTheCallAtOnceAndOnly200GivesText) {
  const std::string answer = "{\"m\":\"\u4E2D\"}";
  for (const int status : {200, 201, 204, 302, 404, 500}) {
    ScriptedPost post;
    EXPECT_EQ(post.Run({Answer(status, answer), Answer(200, "late")}), status == 200 ? answer : "") << status;
    EXPECT_EQ(post.made, 1);
    EXPECT_EQ(post.clock.now, 0u);
  }
  EXPECT_EQ(ScriptedPost().Run({Answer(200, ""), Answer(200, "late")}), "");
  EXPECT_EQ(ScriptedPost().Run({Answer(200, "a\xFF")}), "a\uFFFD");
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
  EXPECT_EQ(post.Run({{.pollsUntilDone = -1}, Answer(200, "just", 119)}), "just");
  EXPECT_EQ(post.clock.now, 120u * 10 + 60000 + 119u * 10);
  EXPECT_EQ(post.clock.pumps, 120 + 119);
}

}  // namespace
}  // namespace zel
