#include "driver/CommandLine.h"

#include <gtest/gtest.h>

#include "system/Text.h"

namespace zel {

TEST(CommandLine, SwitchesAreSubstringsTheFolderIsQuotedAfterItsSwitchArgumentsFollowTheProgram) {
  // Also inside a longer word that begins with it.
  EXPECT_TRUE(HasSwitch(AsciiLower("/UI /Manual"), kSwitchManual) && HasSwitch("/uixyz", kSwitchUi));
  // A switch whose literal ends in a blank is missed at the very end of the line.
  EXPECT_FALSE(HasSwitch("/manual /upgrading", kSwitchUpgrading));
  EXPECT_TRUE(HasSwitch("/upgrading /manual", kSwitchUpgrading));

  EXPECT_EQ(InstallPathOf("/upgrading /installpath \"c:\\p\\\""), "c:\\p\\");
  // Blanks inside the quotes are kept; only the first occurrence counts.
  EXPECT_EQ(InstallPathOf("/installpath \" d e \" /installpath \"x\""), " d e ");
  EXPECT_EQ(InstallPathOf("/installpath \"\""), "");
  // No switch, no opening quote, two blanks before it, no closing quote.
  for (const char* line :
       {"/upgrading ", "/installpath c:\\p\\", "/installpath  \"c:\\p\\\"", "/installpath \"c:\\p\\"})
    EXPECT_EQ(InstallPathOf(line), std::nullopt) << line;

  EXPECT_EQ(ArgumentsOf("\"C:\\Program Files\\z\\zelpatcher.exe\" /ui /manual"), "/ui /manual");
  EXPECT_EQ(ArgumentsOf("zelpatcher.exe   /UI "), "/UI ");
  EXPECT_EQ(ArgumentsOf("zelpatcher.exe") + ArgumentsOf("\"C:\\a b\\z.exe\""), "");
}

}  // namespace zel
