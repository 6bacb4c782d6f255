// The query loop's decisions that the end-to-end scenarios do not reach: answers a
// real service would hardly send, and the exact sequence of one run.
#include "driver/UpdateQuery.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <vector>

namespace zel {
namespace {

using ::testing::ElementsAre;

// A service that answers from a script, a settings file that keeps "UpdateURL", and
// a window that records every status shown.
struct FakeWorld : ProgressSink {
  std::deque<std::string> answers;
  std::vector<std::string> urls, shown;
  std::vector<bool> profilesAsked;
  int datesSaved = 0;
  std::string storedAddress;

  void SetStatus(const std::string& text) override { shown.push_back(text); }
  QueryResult Run(std::deque<std::string> script) {
    answers = std::move(script);
    QueryWorld w;
    w.machineProfile = [this](bool full) {
      profilesAsked.push_back(full);
      return std::string("UUID=41&OSMajorVer=3130");
    };
    w.serviceAddress = [this] { return storedAddress.empty() ? std::string("http://builtin/u") : storedAddress; };
    w.post = [this](const std::string& url, const std::string&) {
      urls.push_back(url);
      std::string a = answers.empty() ? "" : answers.front();
      if (!answers.empty()) answers.pop_front();
      return a;
    };
    w.saveCheckDate = [this] { ++datesSaved; };
    w.storeServiceAddress = [this](const std::string& url) { storedAddress = url; };
    return RunUpdateQuery("312E302E31", "30", false, w, *this);
  }
};

std::string Answer(const std::string& action, const std::string& more = "") {
  return R"({"code":1,"message":"","data":{"action":")" + action + "\"" + more + "}}";
}

TEST(UpdateQuery, ActionTextsThatCountAsNumbers) {
  EXPECT_EQ(BuildQueryText("302E302E30", "30", ""), "AppVer=302E302E30&ExecutionLevel=30");
  for (const auto& [text, value] : {std::pair{"31", 31.0}, {"31.0", 31.0}, {" 33 ", 33.0}, {"3.2e1", 32.0}})
    EXPECT_EQ(ActionNumber(text), value) << text;
  for (const char* bad : {"abc", "31abc", "", " ", "0x1F", "inf", "nan", "1e999"})
    EXPECT_EQ(ActionNumber(bad), std::nullopt) << bad;
}

TEST(UpdateQuery, FullProfileAskedThenLatestShowsEveryStep) {
  FakeWorld world;
  EXPECT_EQ(world.Run({Answer("32"), Answer("31")}).outcome, QueryOutcome::kEnded);
  EXPECT_THAT(world.profilesAsked, ElementsAre(false, true));
  EXPECT_THAT(world.shown, ElementsAre("连接服务器:http://builtin/u", "获取升级信息......", "连接服务器:http://builtin/u",
                                       "获取升级信息......", "版本已更新到最新"));
  EXPECT_EQ(world.datesSaved, 2);
}

TEST(UpdateQuery, OddAnswersEndWithTheirMessage) {
  const std::string codeText = R"({"code":"1","message":"","data":{"action":"31"}})";
  const std::string notJson = "message code data";
  const std::pair<std::string, std::string> cases[] = {
      {"", "连接服务器失败:http://builtin/u"},
      {codeText, "服务器00错误:" + codeText},
      {notJson, "服务器00错误:" + notJson},
      {Answer("31.5"), "服务器02错误:" + Answer("31.5")},
  };
  for (const auto& [answer, expected] : cases) {
    FakeWorld world;
    world.Run({answer});
    EXPECT_EQ(world.shown.back(), expected);
    EXPECT_EQ(world.datesSaved, 1);
  }
}

TEST(UpdateQuery, InvalidHexAddressIsStoredEmptySoTheBuiltInOneReturns) {
  FakeWorld world;
  world.storedAddress = "http://moved/u";
  world.Run({Answer("32", R"(,"updateurl":"7G")"), Answer("31")});
  EXPECT_THAT(world.urls, ElementsAre("http://moved/u", "http://builtin/u"));
}

TEST(UpdateQuery, OfferedUpdateHandsTheAnswerOnAndNoNumberIsUnexpected) {
  FakeWorld offered;
  const QueryResult result = offered.Run({Answer("33")});
  EXPECT_EQ(result.outcome, QueryOutcome::kUpdateOffered);
  EXPECT_EQ(result.answer, Answer("33"));

  FakeWorld odd;
  EXPECT_EQ(odd.Run({Answer("soon")}).outcome, QueryOutcome::kUnexpectedFailure);
  EXPECT_EQ(odd.shown.back(), "获取升级信息......");
}

}  // namespace
}  // namespace zel
