// What a line of the diagnostics log says, and what never goes into it.
#include "system/DiagnosticsLog.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "system/Guarded.h"

namespace zel {
namespace {

std::vector<std::string> lines;
void Keep(LogRole role, std::string_view step, std::string_view detail) {
  lines.push_back(FormatLogLine({2026, 4, 7, 9, 5, 3, 7}, 42, role, step, detail));
}

TEST(DiagnosticsLog, OneLinePerEntryWithTheFailuresCauseAndNeverTheWithheldAnswer) {
  lines.clear();
  SetLogDestination(&Keep);
  SetLogRole(LogRole::kUpgradingCopy);
  Log("digest", "升级包校验值错误:AB\r\n如需帮助\nend");
  EXPECT_EQ(Guarded("cache check", 5, []() -> int { throw std::runtime_error("no memory"); }), 5);
  EXPECT_FALSE(GuardedStep("run", [] { throw 7; }));
  WithholdFromLog(R"({"code":1})");
  SetLogRole(LogRole::kChecking);
  Log("end", R"(服务器00错误:{"code":1})");
  SetLogDestination(nullptr);
  Log("dropped", "");

  EXPECT_EQ(
      lines,
      (std::vector<std::string>{
          "2026-04-07 09:05:03.007 [42 upgrading copy] digest: 升级包校验值错误:AB / 如需帮助 / end\r\n",
          "2026-04-07 09:05:03.007 [42 upgrading copy] failure: cache check: no memory\r\n",
          "2026-04-07 09:05:03.007 [42 upgrading copy] failure: run: a failure of no known kind\r\n",
          "2026-04-07 09:05:03.007 [42 checking] end: 服务器00错误:<10 bytes>\r\n",
      }));
  WithholdFromLog("");
}

}  // namespace
}  // namespace zel
