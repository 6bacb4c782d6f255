// The texts of the machine profile and the rules that make its items.
#include "profile/MachineProfile.h"

#include <gtest/gtest.h>

namespace zel {

TEST(ExeNameFromCommand, TakesTheProgramOfQuotedAndUnquotedCommands) {
  const std::pair<const char*, const char*> cases[] = {
      {"\"C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe\" --single-argument %1", "chrome"},
      {"c:\\program files\\browser\\b.exe %1", "program"},  // unquoted: cut at the first space
      {"  C:\\Tools\\Browser.EXE  ", "browser"},
      {"\"c:\\x\\my.exe.exe\"", "my"},
      {"    ", ""},
  };
  for (const auto& [command, name] : cases) EXPECT_EQ(ExeNameFromCommand(command), name) << command;
}

TEST(MachineProfileText, ShortAndFullFormsInItemOrder) {
  MachineFacts facts;
  facts.osMajorVersion = 10;
  facts.docShellProfile = DefaultDocShellProfile();
  EXPECT_EQ(BuildMachineProfile(facts, true),
            "UUID=&OSMajorVer=3130&Arch=3332&OSName=756E6B6E6F776E&OSVer=302E302E30&CPU=756E6B6E6F776E"
            "&Resolution=302A30&HttpsShellApp=756E6B6E6F776E"
            "&DocShellApp=756E6B6E6F776E&DocShellVer=30&OfficeAddins=7B7D");

  // A Chinese caption travels as the hex of its UTF-8 bytes; the document profile as it is.
  facts = {.uuid = "U-1",
           .osMajorVersion = 10,
           .arch = "64",
           .osName = "\u4E2D",
           .osVer = "10.0",
           .cpu = "CPU",
           .resolution = ResolutionText(1920, 1080),
           .httpsShellApp = "chrome",
           .docShellProfile = "Doc"};
  EXPECT_EQ(BuildMachineProfile(facts, true),
            "UUID=552D31&OSMajorVer=3130&Arch=3634&OSName=E4B8AD&OSVer=31302E30&CPU=435055"
            "&Resolution=313932302A31303830&HttpsShellApp=6368726F6D65&Doc");
  EXPECT_EQ(BuildMachineProfile(facts, false), "UUID=552D31&OSMajorVer=3130");
  // A zero screen width is no screen, whatever the height.
  EXPECT_EQ(ResolutionText(0, 1080) + " " + ResolutionText(800, 0), "0*0 800*0");
}

}  // namespace zel
