#include "FaultScript.h"

#include <gtest/gtest.h>

namespace zel::svc {
namespace {

TEST(FaultScript, ParsesEveryMember) {
  std::vector<Fault> faults;
  ASSERT_EQ(ParseFaults(R"([{"status":503,"body":"x","delay_ms":250,"drop":true,
                             "omit_headers":["Content-Length"],"headers":[["Retry-After","5"]]},
                            {"on":"package","status":206},
                            {}])",
                        faults),
            "");
  ASSERT_EQ(faults.size(), 3u);
  EXPECT_EQ(faults[0].on, FaultTarget::kUpdate);
  EXPECT_EQ(faults[0].status, 503);
  EXPECT_EQ(faults[0].body, "x");
  EXPECT_EQ(faults[0].delay_ms, 250);
  EXPECT_TRUE(faults[0].drop);
  EXPECT_EQ(faults[0].omit_headers, std::vector<std::string>{"Content-Length"});
  ASSERT_EQ(faults[0].headers.size(), 1u);
  EXPECT_EQ(faults[0].headers[0].second, "5");
  EXPECT_EQ(faults[1].on, FaultTarget::kPackage);
  EXPECT_FALSE(faults[2].status || faults[2].body || faults[2].drop);
}

TEST(FaultScript, RefusesScriptsThatWouldSilentlyDoSomethingElse) {
  const char* cases[] = {
      "",
      "[1]",
      R"([{"stauts":500}])",
      R"([{"status":"500"}])",
      R"([{"status":99}])",
      R"([{"status":4294967496}])",
      R"([{"delay_ms":600001}])",
      R"([{"drop":1}])",
      R"([{"on":"both"}])",
      R"([{"omit_headers":"Content-Length"}])",
      R"([{"omit_headers":["Bad Name"]}])",
      R"([{"headers":[["X-A","a\r\nX-Injected: 1"]]}])",
      R"([{"status":500},{"drop":"yes"}])",
  };
  for (const char* text : cases) {
    std::vector<Fault> faults;
    EXPECT_NE(ParseFaults(text, faults), "") << text;
    EXPECT_TRUE(faults.empty()) << text;
  }
  std::vector<Fault> faults;
  EXPECT_EQ(ParseFaults(R"([{"status":500},{"drop":"yes"}])", faults).rfind("fault 2:", 0), 0u);
}

TEST(FaultScript, HandsOutFaultsInOrderPerKindOfRequest) {
  FaultScript script;
  std::vector<Fault> faults;
  ASSERT_EQ(ParseFaults(R"([{"status":501},{"on":"package","status":403},{"status":502}])", faults), "");
  script.Append(std::move(faults));
  ASSERT_EQ(ParseFaults(R"([{"status":503}])", faults), "");
  script.Append(std::move(faults));

  EXPECT_EQ(script.Next(FaultTarget::kPackage)->status, 403);
  EXPECT_EQ(script.Next(FaultTarget::kPackage), std::nullopt);
  EXPECT_EQ(script.Next(FaultTarget::kUpdate)->status, 501);
  EXPECT_EQ(script.Next(FaultTarget::kUpdate)->status, 502);
  script.Clear();
  EXPECT_EQ(script.Next(FaultTarget::kUpdate), std::nullopt);
}

}  // namespace
}  // namespace zel::svc
