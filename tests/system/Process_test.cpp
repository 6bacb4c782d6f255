#include "system/Process.h"

#include <gtest/gtest.h>

namespace zel {
namespace {

struct Case {
  std::string_view program, arguments, shell, expected;
};

TEST(LaunchCommandLine, WithoutArgumentsQuotesOnlyAPathWithAnInnerSpace) {
  for (const Case& c : {
           Case{"C:\\tools\\run.exe", "", "", "C:\\tools\\run.exe"},
           {"C:\\My Tools\\run.exe", "", "", "\"C:\\My Tools\\run.exe\""},
           {"\"C:\\My Tools\\run.exe\"", "", "", "\"C:\\My Tools\\run.exe\""},
           {" run.exe", "", "", " run.exe"},
           {"C:\\t\\run.exe ", "", "", "\"C:\\t\\run.exe \""},
           {"C:\\tools\\run.exe", "/s", "", "\"C:\\tools\\run.exe\" /s"},
           {"C:\\My Tools\\run.exe", "", "C:\\windows\\explorer.exe",
            "C:\\windows\\explorer.exe \"C:\\My Tools\\run.exe\""},
           {"C:\\tools\\run.exe", "/s", "C:\\windows\\explorer.exe",
            "C:\\windows\\explorer.exe \"C:\\tools\\run.exe\" /s"},
       })
    EXPECT_EQ(LaunchCommandLine(c.program, c.arguments, c.shell), c.expected) << c.program << '|' << c.shell;
}

}  // namespace
}  // namespace zel
