#include "system/Process.h"

#include <gtest/gtest.h>

#include <array>

namespace zel {

TEST(LaunchCommandLine, WithoutArgumentsQuotesOnlyAPathWithAnInnerSpace) {
  for (const auto& [program, arguments, shell, expected] :
       std::initializer_list<std::array<std::string_view, 4>>{
           {"C:\\tools\\run.exe", "", "", "C:\\tools\\run.exe"},
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
    EXPECT_EQ(LaunchCommandLine(program, arguments, shell), expected) << program << '|' << shell;
}

}  // namespace zel
