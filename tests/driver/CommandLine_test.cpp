#include "driver/CommandLine.h"

#include <gtest/gtest.h>

#include "system/Text.h"

namespace zel {

TEST(CommandLine, SwitchesAreSubstringsTheFolderIsQuotedAfterItsSwitchArgumentsFollowTheProgram) {
  EXPECT_TRUE(HasSwitch(AsciiLower("/UI /Manual"), kSwitchManual));
  EXPECT_TRUE(HasSwitch("/uixyz", kSwitchUi));  // also inside a longer word that begins with it
  // A switch whose literal ends in a blank is missed at the very end of the line.
  EXPECT_FALSE(HasSwitch("/manual /upgrading", kSwitchUpgrading));
  EXPECT_TRUE(HasSwitch("/upgrading /manual", kSwitchUpgrading));

  EXPECT_EQ(InstallPathOf("/upgrading /installpath \"c:\\p\\\""), "c:\\p\\");
  // Blanks inside the quotes are kept; only the first occurrence counts.
  EXPECT_EQ(InstallPathOf("/installpath \" d e \" /installpath \"x\""), " d e ");
  EXPECT_EQ(InstallPathOf("/installpath \"\""), "");
  EXPECT_EQ(InstallPathOf("/upgrading "), std::nullopt);
  EXPECT_EQ(InstallPathOf("/installpath c:\\p\\"), std::nullopt);       // no opening quote
  EXPECT_EQ(InstallPathOf("/installpath  \"c:\\p\\\""), std::nullopt);  // two blanks before it
  EXPECT_EQ(InstallPathOf("/installpath \"c:\\p\\"), std::nullopt);     // no closing quote

  EXPECT_EQ(ArgumentsOf("\"C:\\Program Files\\z\\zelpatcher.exe\" /ui /manual"), "/ui /manual");
  EXPECT_EQ(ArgumentsOf("zelpatcher.exe   /UI "), "/UI ");
  EXPECT_EQ(ArgumentsOf("zelpatcher.exe"), "");
  EXPECT_EQ(ArgumentsOf("\"C:\\a b\\z.exe\""), "");
}

}  // namespace zel
