#include "driver/UpdateQuery.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <vector>

namespace zel {
namespace {

using ::testing::ElementsAre;

class RecordingSink : public ProgressSink {
 public:
  void SetStatus(const std::string& text) override { shown.push_back(text); }
  std::vector<std::string> shown;
};

// A service that answers from a script and remembers what it was asked.
struct FakeService {
  std::deque<std::string> answers;
  std::vector<std::string> urls, bodies;
  std::vector<bool> profilesAsked;
  int datesSaved = 0;
  std::string storedAddress;  // "UpdateURL" in the settings file

  QueryWorld World() {
    QueryWorld w;
    w.machineProfile = [this](bool full) {
      profilesAsked.push_back(full);
      return std::string(full ? "UUID=41&OSMajorVer=3130&Arch=3634" : "UUID=41&OSMajorVer=3130");
    };
    w.serviceAddress = [this] { return storedAddress.empty() ? std::string("http://builtin/u") : storedAddress; };
    w.post = [this](const std::string& url, const std::string& body) {
      urls.push_back(url);
      bodies.push_back(body);
      std::string a = answers.empty() ? "" : answers.front();
      if (!answers.empty()) answers.pop_front();
      return a;
    };
    w.saveCheckDate = [this] { ++datesSaved; };
    w.storeServiceAddress = [this](const std::string& url) { storedAddress = url; };
    return w;
  }
};

std::string Answer(const std::string& action) {
  return R"({"code":1,"message":"ok","data":{"action":")" + action + R"("}})";
}

class UpdateQueryRun : public ::testing::Test {
 protected:
  QueryResult Run(bool full = false) { return RunUpdateQuery("312E302E31", "30", full, service_.World(), sink_); }
  FakeService service_;
  RecordingSink sink_;
};

TEST(QueryText, JoinsVersionLevelAndProfile) {
  EXPECT_EQ(BuildQueryText("312E302E31", "31", "UUID=&OSMajorVer=3130"),
            "AppVer=312E302E31&ExecutionLevel=31&UUID=&OSMajorVer=3130");
  EXPECT_EQ(BuildQueryText("302E302E30", "30", ""), "AppVer=302E302E30&ExecutionLevel=30");
}

TEST(QueryText, ActionNumbers) {
  EXPECT_EQ(ActionNumber("31"), 31.0);
  EXPECT_EQ(ActionNumber("31.0"), 31.0);
  EXPECT_EQ(ActionNumber(" 33 "), 33.0);
  EXPECT_EQ(ActionNumber("3.2e1"), 32.0);
  EXPECT_EQ(ActionNumber("31.5"), 31.5);
  for (const char* bad : {"abc", "31abc", "", " ", "0x1F", "inf", "nan", "1e999"})
    EXPECT_EQ(ActionNumber(bad), std::nullopt) << bad;
}

TEST_F(UpdateQueryRun, LatestVersionShowsItAfterOnePost) {
  service_.answers = {Answer("31")};
  EXPECT_EQ(Run().outcome, QueryOutcome::kEnded);
  EXPECT_THAT(sink_.shown, ElementsAre("连接服务器:http://builtin/u", "获取升级信息......", "版本已更新到最新"));
  EXPECT_EQ(service_.datesSaved, 1);
  // The body is the encoded query: short enough to travel plain.
  ASSERT_EQ(service_.bodies.size(), 1u);
  EXPECT_EQ(service_.bodies[0].rfind("size=", 0), 0u);
}

TEST_F(UpdateQueryRun, FullProfileWantedTwiceEndsAfterTheSecondPost) {
  service_.answers = {Answer("32"), Answer("32")};
  Run();
  EXPECT_THAT(service_.profilesAsked, ElementsAre(false, true));
  EXPECT_EQ(service_.urls.size(), 2u);
  EXPECT_EQ(service_.datesSaved, 2);
  EXPECT_EQ(sink_.shown.back(), "服务器暂时无法访问.");
}

TEST_F(UpdateQueryRun, FullProfileWantedThenLatest) {
  service_.answers = {Answer("32"), Answer("31")};
  Run();
  EXPECT_THAT(service_.profilesAsked, ElementsAre(false, true));
  EXPECT_EQ(sink_.shown.back(), "版本已更新到最新");
}

TEST_F(UpdateQueryRun, ErrorAnswersShowTheWholeAnswer) {
  const std::string codeZero = R"({"code":0,"message":"bad","data":{}})";
  const std::string codeText = R"({"code":"1","message":"","data":{"action":"31"}})";
  const std::string noMessage = R"({"code":1,"data":{"action":"31"}})";
  const std::string actionNumber = R"({"code":1,"message":"","data":{"action":33}})";
  const std::string unknownAction = Answer("34");
  const std::pair<std::string, std::string> cases[] = {
      {codeZero, "服务器00错误:" + codeZero},      {codeText, "服务器00错误:" + codeText},
      {noMessage, "服务器错误:" + noMessage},       {actionNumber, "服务器01错误:" + actionNumber},
      {unknownAction, "服务器02错误:" + unknownAction}, {"not json at all", "服务器错误:not json at all"},
  };
  for (const auto& [answer, expected] : cases) {
    FakeService service;
    RecordingSink sink;
    service.answers = {answer};
    EXPECT_EQ(RunUpdateQuery("30", "30", false, service.World(), sink).outcome, QueryOutcome::kEnded);
    EXPECT_EQ(sink.shown.back(), expected);
    EXPECT_EQ(service.datesSaved, 1);
  }
}

TEST_F(UpdateQueryRun, NoAnswerNamesTheAddress) {
  Run();
  EXPECT_EQ(sink_.shown.back(), "连接服务器失败:http://builtin/u");
  EXPECT_EQ(service_.datesSaved, 1);
}

TEST_F(UpdateQueryRun, NewServiceAddressIsStoredDecodedAndUsedNext) {
  // "http://other/x" as hex of its UTF-8 bytes.
  service_.answers = {R"({"code":1,"message":"","data":{"action":"32","updateurl":"687474703A2F2F6F746865722F78"}})",
                      Answer("31.0")};
  Run();
  EXPECT_THAT(service_.urls, ElementsAre("http://builtin/u", "http://other/x"));
  EXPECT_EQ(service_.storedAddress, "http://other/x");
  EXPECT_EQ(sink_.shown.back(), "版本已更新到最新");
}

TEST_F(UpdateQueryRun, InvalidHexAddressIsStoredEmptySoTheBuiltInOneReturns) {
  service_.storedAddress = "http://moved/u";
  service_.answers = {R"({"code":1,"message":"","data":{"action":"32","updateurl":"7G"}})", Answer("31")};
  Run();
  EXPECT_THAT(service_.urls, ElementsAre("http://moved/u", "http://builtin/u"));
}

TEST_F(UpdateQueryRun, OfferedUpdateHandsTheAnswerOn) {
  const std::string offer = R"({"code":1,"message":"","data":{"action":"33","updateinfo":{"ver":"2.0.0"}}})";
  service_.answers = {offer};
  const QueryResult result = Run();
  EXPECT_EQ(result.outcome, QueryOutcome::kUpdateOffered);
  EXPECT_EQ(result.answer, offer);
  EXPECT_EQ(sink_.shown.back(), "获取升级信息......");
}

TEST_F(UpdateQueryRun, ActionThatIsNoNumberIsAnUnexpectedFailure) {
  service_.answers = {Answer("soon")};
  EXPECT_EQ(Run().outcome, QueryOutcome::kUnexpectedFailure);
  EXPECT_EQ(sink_.shown.back(), "获取升级信息......");
}

}  // namespace
}  // namespace zel
