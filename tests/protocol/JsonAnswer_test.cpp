#include "protocol/JsonAnswer.h"

#include <gtest/gtest.h>

namespace zel {
namespace {

constexpr JsonKind kInt = JsonKind::kInteger;
constexpr JsonKind kText = JsonKind::kText;

constexpr const char* kAnswer = R"({"code": 1, "message": "ok",
  "data": {"action": "32", "updateinfo": {"ver": "2.1.0", "size": 1048576}}})";

TEST(JsonGetValue, WorkedExample) {
  EXPECT_EQ(JsonGetValue("code", kAnswer, kInt), JsonValue(1));
  EXPECT_EQ(JsonGetValue("data.action", kAnswer, kText), JsonValue("32"));
  EXPECT_EQ(JsonGetValue("data.updateinfo.size", kAnswer, kInt), JsonValue(1048576));
  EXPECT_EQ(JsonGetValue("data.updateinfo.ver", kAnswer, kInt), std::nullopt);
  EXPECT_EQ(JsonGetValue("data.updateurl", kAnswer, kText), std::nullopt);
  EXPECT_EQ(JsonGetValue("data.updateinfo.hash", kAnswer, kText), std::nullopt);
}

TEST(JsonGetValue, AnswersThatAreNotJsonGiveNoValue) {
  for (const char* answer : {"", " ", "{", R"({"code":1)", R"({"code":1} x)", "{'code':1}", "{code:1}",
                             R"({"code":1 /* c */})", "<html>500</html>"}) {
    EXPECT_EQ(JsonGetValue("code", answer, kInt), std::nullopt) << answer;
    EXPECT_FALSE(JsonAnswer(answer).IsValid()) << answer;
  }
}

TEST(JsonGetValue, IntegersOnlyWithinSigned32BitsAndWithoutFraction) {
  const JsonAnswer answer(R"({"zero":0, "max":2147483647, "min":-2147483648, "big":3000000000,
    "over":2147483648, "under":-2147483649, "frac":1.0, "exp":1e3, "huge":123456789012345678901234,
    "str":"1", "t":true})");
  EXPECT_EQ(answer.GetInteger("zero"), 0);
  EXPECT_EQ(answer.GetInteger("max"), 2147483647);
  EXPECT_EQ(answer.GetInteger("min"), -2147483647 - 1);
  for (const char* path : {"big", "over", "under", "frac", "exp", "huge"}) {
    EXPECT_EQ(answer.GetInteger(path), std::nullopt) << path;
    EXPECT_EQ(answer.KindAt(path), JsonKind::kDouble) << path;
  }
  EXPECT_EQ(answer.GetInteger("str"), std::nullopt);
  EXPECT_EQ(answer.GetInteger("t"), std::nullopt);
  EXPECT_EQ(answer.KindAt("t"), JsonKind::kBoolean);
}

TEST(JsonGetValue, WalkStopsAtNullStringsArraysAndAbsentMembers) {
  for (const char* text : {R"({"data":null})", R"({"data":"x"})", R"({"data":[{"action":"31"}]})",
                           R"({"data":5})", R"({})", R"([{"data":{"action":"31"}}])", "\"data\""}) {
    const JsonAnswer answer(text);
    EXPECT_EQ(answer.GetText("data.action"), std::nullopt) << text;
    EXPECT_EQ(answer.GetInteger("data.updateinfo.size"), std::nullopt) << text;
    EXPECT_EQ(answer.KindAt("data.updateinfo.size"), std::nullopt) << text;
  }
  const JsonAnswer answer(R"({"data":{"updateurl":null, "list":[1]}})");
  EXPECT_EQ(answer.KindAt("data.updateurl"), JsonKind::kNull);
  EXPECT_EQ(answer.GetText("data.updateurl"), std::nullopt);
  EXPECT_EQ(answer.KindAt("data.missing"), JsonKind::kEmpty);
  EXPECT_EQ(answer.KindAt("data.list"), JsonKind::kObject);
  EXPECT_EQ(answer.KindAt("data"), JsonKind::kObject);
}

TEST(JsonGetValue, EmptyTextIsAValueAndEscapesAreResolved) {
  const JsonAnswer answer(R"({"data":{"updateurl":"", "ver":"\u4e2d\"\\\/", "x":"\ud83d\ude00"}})");
  EXPECT_EQ(answer.GetText("data.updateurl"), std::string());
  EXPECT_EQ(answer.GetText("data.ver"), "\xE4\xB8\xAD\"\\/");
  EXPECT_EQ(answer.GetText("data.x"), "\xF0\x9F\x98\x80");
}

TEST(JsonGetValue, LastDuplicateCountsAndNamesMatchExactly) {
  const JsonAnswer answer(R"({"code":1, "code":2, "data":{"action":"31"}, "data":{"ver":"9"},
    "Code":7, "a.b":5, "a":{"b":6}})");
  EXPECT_EQ(answer.GetInteger("code"), 2);
  EXPECT_EQ(answer.GetText("data.action"), std::nullopt);  // the later object replaces the earlier
  EXPECT_EQ(answer.GetText("data.ver"), "9");
  EXPECT_EQ(answer.GetInteger("Code"), 7);
  EXPECT_EQ(answer.GetInteger("CODE"), std::nullopt);
  EXPECT_EQ(answer.GetInteger("a.b"), 6);  // "." always separates members
  EXPECT_EQ(answer.Get("code", JsonKind::kBoolean), std::nullopt);
}

}  // namespace
}  // namespace zel
