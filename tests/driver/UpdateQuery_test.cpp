// What an answer means; the loop itself, and how the window shows an answer, run in the
// checking-run scenarios.
#include "driver/UpdateQuery.h"

#include <gtest/gtest.h>

namespace zel {
namespace {

using Next = AnswerReading::Next;

std::string Answer(const std::string& action, const std::string& more = "") {
  return R"({"code":1,"message":"","data":{"action":")" + action + "\"" + more + "}}";
}

TEST(UpdateQuery, AnswersLeadToTheirActionOrEndWithTheirMessageAndActionTextsCountAsNumbers) {
  EXPECT_EQ(BuildQueryText("302E302E30", "30", ""), "AppVer=302E302E30&ExecutionLevel=30");
  for (const auto& [text, value] : {std::pair{"31", 31.0}, {"31.0", 31.0}, {" 33 ", 33.0}, {"3.2e1", 32.0}})
    EXPECT_EQ(ActionNumber(text), value) << text;
  for (const char* bad : {"abc", "31abc", "", " ", "0x1F", "inf", "nan", "1e999"})
    EXPECT_EQ(ActionNumber(bad), std::nullopt) << bad;

  const std::string notJson = "message code data";
  const std::string codeText = R"({"code":"1","message":"","data":{"action":"31"}})";
  const std::string noMessage = R"({"code":1,"msg":"ok","data":{"action":"31"}})";
  const std::string numberAction = R"({"code":1,"message":"","data":{"action":33}})";
  const std::tuple<std::string, std::string, bool> cases[] = {
      {"", "连接服务器失败:http://builtin/u", false},
      {noMessage, "服务器错误:" + noMessage, false},
      {codeText, "服务器00错误:" + codeText, false},
      {notJson, "服务器00错误:" + notJson, false},
      {Answer("31.5"), "服务器02错误:" + Answer("31.5"), true},
      {Answer(""), "服务器01错误:" + Answer(""), true},
      {numberAction, "服务器01错误:" + numberAction, true},
      {Answer("34"), "服务器02错误:" + Answer("34"), true},
      {Answer("31"), "版本已更新到最新", true},
  };
  for (const auto& [answer, status, accepted] : cases) {
    SCOPED_TRACE(answer);
    const AnswerReading reading = ReadAnswer(answer, "http://builtin/u");
    EXPECT_EQ(std::tuple(reading.next, reading.status, reading.accepted),
              std::tuple(Next::kEnd, status, accepted));
  }
  EXPECT_EQ(ReadAnswer(Answer("32"), "").next, Next::kAskAgain);
  EXPECT_EQ(ReadAnswer(Answer("33"), "").next, Next::kUpdateOffered);
  EXPECT_EQ(ReadAnswer(Answer("soon"), "").next, Next::kUnexpectedFailure);
  // The address travels as hex; an invalid hex text decodes to the empty text, which
  // the settings file then reads as "use the built-in address".
  EXPECT_EQ(ReadAnswer(Answer("32", R"(,"updateurl":"687474703A2F2F6D2F75")"), "").updateUrl, "http://m/u");
  EXPECT_EQ(ReadAnswer(Answer("32", R"(,"updateurl":"7G")"), "").updateUrl, "");
  EXPECT_EQ(ReadAnswer(Answer("31", R"(,"updateurl":"")"), "").updateUrl, std::nullopt);
}

}  // namespace
}  // namespace zel
