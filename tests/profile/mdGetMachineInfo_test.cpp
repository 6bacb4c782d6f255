#include "profile/mdGetMachineInfo.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "profile/ClsWMI.h"

namespace zel {
namespace {

TEST(ExeNameFromCommand, TakesTheProgramOfQuotedAndUnquotedCommands) {
  EXPECT_EQ(ExeNameFromCommand(
                "\"C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe\" --single-argument %1"),
            "chrome");
  EXPECT_EQ(ExeNameFromCommand("c:\\program files\\browser\\b.exe %1"), "program");  // cut at the first space
  EXPECT_EQ(ExeNameFromCommand("  C:\\Tools\\Browser.EXE  "), "browser");
  EXPECT_EQ(ExeNameFromCommand("\"c:\\x\\my.exe.exe\""), "my");
  EXPECT_EQ(ExeNameFromCommand("    "), "");
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
  EXPECT_EQ(DocShellProfileText("winword", "16", "{\"Word\":[]}"),
            "DocShellApp=77696E776F7264&DocShellVer=3136&OfficeAddins=7B22576F7264223A5B5D7D");
}

class FakeWmi : public ClsWMI {
 public:
  bool queriesFail = false;
  bool getOsInfo(std::string& name, std::string& ver) override {
    return Answer(name, "\xE4\xB8\xAD", ver, "10.0");
  }
  bool getCpuInfo(std::string& name, std::string& arch) override { return Answer(name, "CPU", arch, "64"); }
  bool getUUIDInfo(std::string&) override { return false; }
  bool IsExistProcess(const std::string&) override { return false; }
  bool TerminateProcess(const std::string&) override { return false; }
  bool IsConnectedNetWork(const std::string&) override { return false; }

 private:
  bool Answer(std::string& first, const char* firstValue, std::string& second, const char* secondValue) {
    first = queriesFail ? "" : firstValue;
    second = queriesFail ? "" : secondValue;
    return !queriesFail;
  }
};

// Probes with fixed answers; each test changes the one it is about.
struct Probes {
  FakeWmi wmi;
  bool wmiAvailable = true;
  std::array<int, 2> screen{1920, 1080};
  bool screenFails = false;

  MachineFacts Collect(bool full) {
    MachineProbes p;
    p.wmi = [this]() -> ClsWMI* { return wmiAvailable ? &wmi : nullptr; };
    p.installedUUID = [](ClsWMI&) { return std::string("U-1"); };
    p.screenSize = [this] {
      if (screenFails) throw std::runtime_error("screen");
      return screen;
    };
    p.httpsShellApp = [] { return std::string("chrome"); };
    p.docShellProfile = [] { return std::string("Doc"); };
    p.osMajorVersion = [] { return 10; };
    return CollectMachineFacts(full, p);
  }
};

TEST(MachineFactsCollection, FullFormCollectsEveryFact) {
  Probes probes;
  const std::string profile = BuildMachineProfile(probes.Collect(true), true);
  // A Chinese caption travels as the hex of its UTF-8 bytes; 1920 by 1080 as 1920*1080.
  EXPECT_EQ(profile,
            "UUID=552D31&OSMajorVer=3130&Arch=3634&OSName=E4B8AD&OSVer=31302E30&CPU=435055"
            "&Resolution=313932302A31303830&HttpsShellApp=6368726F6D65&Doc");
  EXPECT_EQ(BuildMachineProfile(probes.Collect(false), false), "UUID=552D31&OSMajorVer=3130");
}

TEST(MachineFactsCollection, MissingOrFailingSourcesKeepDefaults) {
  Probes zeroWidth;
  zeroWidth.screen = {0, 1080};
  EXPECT_EQ(zeroWidth.Collect(true).resolution, "0*0");

  Probes failingQueries;
  failingQueries.wmi.queriesFail = true;
  const MachineFacts emptied = failingQueries.Collect(true);
  EXPECT_EQ(emptied.osName + emptied.osVer + emptied.cpu + emptied.arch, "");
}

TEST(MachineFactsCollection, WithoutWmiEveryGuardedFactKeepsItsDefault) {
  Probes probes;
  probes.wmiAvailable = false;
  const MachineFacts facts = probes.Collect(true);
  MachineFacts expected;
  expected.osMajorVersion = 10;  // outside the guard: still collected
  expected.docShellProfile = "Doc";
  EXPECT_EQ(BuildMachineProfile(facts, true), BuildMachineProfile(expected, true));
}

TEST(MachineFactsCollection, FailureInsideTheGuardKeepsEarlierFactsAndSkipsLaterOnes) {
  Probes probes;
  probes.screenFails = true;
  const MachineFacts facts = probes.Collect(true);
  EXPECT_EQ(facts.uuid, "U-1");
  EXPECT_EQ(facts.resolution, "0*0");
  EXPECT_EQ(facts.httpsShellApp, "unknown");
  EXPECT_EQ(facts.docShellProfile, "Doc");
}

}  // namespace
}  // namespace zel
