#include "system/ProcessCommand.h"

#include <gtest/gtest.h>

namespace zel {
namespace {

TEST(StartCommandLine, QuotesTheProgramOnceAndAppendsTheArguments) {
  EXPECT_EQ(StartCommandLine("C:\\Program Files\\p\\setup.exe", "/verysilent"),
            "\"C:\\Program Files\\p\\setup.exe\" /verysilent");
  EXPECT_EQ(StartCommandLine("C:\\tools\\setup.exe", "/verysilent"), "\"C:\\tools\\setup.exe\" /verysilent");
  EXPECT_EQ(StartCommandLine("\"C:\\My Tools\\setup.exe\"", "/a /b"), "\"C:\\My Tools\\setup.exe\" /a /b");
  // No arguments still leaves the separating space.
  EXPECT_EQ(StartCommandLine("C:\\tools\\setup.exe", ""), "\"C:\\tools\\setup.exe\" ");
}

TEST(LaunchCommandLine, WithoutArgumentsQuotesOnlyAPathWithAnInnerSpace) {
  EXPECT_EQ(LaunchCommandLine("C:\\tools\\run.exe", "", ""), "C:\\tools\\run.exe");
  EXPECT_EQ(LaunchCommandLine("C:\\My Tools\\run.exe", "", ""), "\"C:\\My Tools\\run.exe\"");
  EXPECT_EQ(LaunchCommandLine("\"C:\\My Tools\\run.exe\"", "", ""), "\"C:\\My Tools\\run.exe\"");
  EXPECT_EQ(LaunchCommandLine(" run.exe", "", ""), " run.exe");
  EXPECT_EQ(LaunchCommandLine("C:\\t\\run.exe ", "", ""), "\"C:\\t\\run.exe \"");
}

TEST(LaunchCommandLine, ShellProgramGoesInFrontOfTheCommand) {
  EXPECT_EQ(LaunchCommandLine("C:\\My Tools\\run.exe", "", "C:\\windows\\explorer.exe"),
            "C:\\windows\\explorer.exe \"C:\\My Tools\\run.exe\"");
  EXPECT_EQ(LaunchCommandLine("C:\\tools\\run.exe", "", "C:\\windows\\explorer.exe"),
            "C:\\windows\\explorer.exe C:\\tools\\run.exe");
  EXPECT_EQ(LaunchCommandLine("C:\\tools\\run.exe", "/s", "C:\\windows\\explorer.exe"),
            "C:\\windows\\explorer.exe \"C:\\tools\\run.exe\" /s");
}

}  // namespace
}  // namespace zel
