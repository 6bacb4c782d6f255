// The decisions and texts of the machine profile, from fixed sources.
#include <gtest/gtest.h>

#include "support/FakeWmi.h"

#include <stdexcept>

#include "system/Wmi.h"
#include "profile/MachineProfile.h"

namespace zel {
namespace {

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
  EXPECT_EQ(BuildMachineProfile(facts, false), "UUID=&OSMajorVer=3130");
  facts.docShellProfile = DefaultDocShellProfile();
  EXPECT_EQ(BuildMachineProfile(facts, true),
            "UUID=&OSMajorVer=3130&Arch=3332&OSName=756E6B6E6F776E&OSVer=302E302E30&CPU=756E6B6E6F776E"
            "&Resolution=302A30&HttpsShellApp=756E6B6E6F776E"
            "&DocShellApp=756E6B6E6F776E&DocShellVer=30&OfficeAddins=7B7D");
}

// A machine whose WMI reports a Chinese caption, Windows 10 and a 64-bit processor.
struct Wmi10 : test::FakeWmi {
  Wmi10() {
    os = {"\u4E2D", "10.0"};
    cpu = {"CPU", "64"};
  }
};

// The facts from fixed probes; a negative screen width makes the screen probe throw.
MachineFacts Collect(bool full, ClsWMI* wmi, std::array<int, 2> screen = {1920, 1080}) {
  MachineProbes probes;
  probes.wmi = [wmi] { return wmi; };
  probes.installedUUID = [](ClsWMI&) { return std::string("U-1"); };
  probes.screenSize = [screen] {
    if (screen[0] < 0) throw std::runtime_error("screen");
    return screen;
  };
  probes.httpsShellApp = [] { return std::string("chrome"); };
  probes.docShellProfile = [] { return std::string("Doc"); };
  probes.osMajorVersion = [] { return 10; };
  return CollectMachineFacts(full, probes);
}

TEST(MachineFactsCollection, FullFormCollectsEveryFact) {
  Wmi10 wmi;
  // A Chinese caption travels as the hex of its UTF-8 bytes; 1920 by 1080 as 1920*1080.
  EXPECT_EQ(BuildMachineProfile(Collect(true, &wmi), true),
            "UUID=552D31&OSMajorVer=3130&Arch=3634&OSName=E4B8AD&OSVer=31302E30&CPU=435055"
            "&Resolution=313932302A31303830&HttpsShellApp=6368726F6D65&Doc");
  EXPECT_EQ(BuildMachineProfile(Collect(false, &wmi), false), "UUID=552D31&OSMajorVer=3130");
  EXPECT_EQ(Collect(true, &wmi, {0, 1080}).resolution, "0*0");  // a zero width is no screen
}

TEST(MachineFactsCollection, FailureGuardKeepsEarlierFactsAndDefaultsForTheRest) {
  MachineFacts withoutWmi;  // only the facts outside the guard are collected
  withoutWmi.osMajorVersion = 10;
  withoutWmi.docShellProfile = "Doc";
  EXPECT_EQ(BuildMachineProfile(Collect(true, nullptr), true), BuildMachineProfile(withoutWmi, true));

  Wmi10 wmi;
  const MachineFacts facts = Collect(true, &wmi, {-1, 0});
  EXPECT_EQ(facts.uuid, "U-1");
  EXPECT_EQ(facts.resolution + "|" + facts.httpsShellApp + "|" + facts.docShellProfile, "0*0|unknown|Doc");
}

}  // namespace
}  // namespace zel
