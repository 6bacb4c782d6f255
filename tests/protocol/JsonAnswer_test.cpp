#include "protocol/JsonAnswer.h"

#include <gtest/gtest.h>

namespace zel {

constexpr JsonKind kInt = JsonKind::kInteger;
constexpr JsonKind kText = JsonKind::kText;
const std::optional<JsonValue> kNone;

TEST(JsonGetValue, OnlyAValueOfTheExpectedKindAtTheWholePath) {
  const std::tuple<std::string, const char*, JsonKind, std::optional<JsonValue>> cases[] = {
      // Not strict JSON. (The members the query reads are checked through its reading of
      // whole answers.)
      {"", "code", kInt, kNone},
      {R"({"code":1} x)", "code", kInt, kNone},
      // Integers: signed 32 bits, no fraction, never from text.
      {R"({"code":"1"})", "code", kText, JsonValue("1")},
      {R"({"n":3000000000})", "n", kInt, kNone},
      {R"({"n":2147483647})", "n", kInt, JsonValue(2147483647)},
      {R"({"n":-2147483648})", "n", kInt, JsonValue(-2147483647 - 1)},
      {R"({"n":1.0})", "n", kInt, kNone},
      // The walk stops at null members, strings and arrays.
      {R"({"data":null})", "data.action", kText, kNone},
      {R"({"data":{"updateurl":null}})", "data.updateurl", kText, kNone},
      {R"({"data":"x"})", "data.action", kText, kNone},
      {R"({"data":[{"action":"31"}]})", "data.action", kText, kNone},
      // Empty text is a value; escapes are resolved.
      {R"({"data":{"updateurl":""}})", "data.updateurl", kText, JsonValue("")},
      {R"({"v":"\u4e2d\"\\\/\ud83d\ude00"})", "v", kText, JsonValue("\u4E2D\"\\/\U0001F600")},
      // Valid JSON the parser library would refuse: a number beyond a double's range
      // stays a double, half a surrogate pair reads as U+FFFD.
      {R"({"x":1e400, "code":1, "y":-1e400})", "code", kInt, JsonValue(1)},
      {R"({"x":1e400})", "x", kInt, kNone},
      {R"({"v":"a\ud800b\udc00\ud800"})", "v", kText, JsonValue("a\uFFFDb\uFFFD\uFFFD")},
      {R"({"v":"\\ud800\u00e9"})", "v", kText, JsonValue("\\ud800\u00E9")},
      {R"({"x":01e400, "code":1})", "code", kInt, kNone},
      {R"({"v":"\ud800)", "v", kText, kNone},
      // The last duplicate counts, also for a whole object; "." always separates.
      {R"({"code":1, "code":2})", "code", kInt, JsonValue(2)},
      {R"({"data":{"action":"31"}, "data":{"ver":"9"}})", "data.action", kText, kNone},
      {R"({"a.b":5, "a":{"b":6}})", "a.b", kInt, JsonValue(6)},
      // An integer of many hundred digits is a double and spoils nothing else.
      {R"({"code":1, "x":)" + std::string(400, '9') + "}", "code", kInt, JsonValue(1)},
  };
  for (const auto& [answer, path, kind, expected] : cases)
    EXPECT_EQ(JsonGetValue(path, answer, kind), expected) << answer << " @ " << path;
}

}  // namespace zel
