// The decisions and texts of the machine profile, from fixed sources.
#include <gtest/gtest.h>

#include "support/FakeWmi.h"

#include <stdexcept>

#include "system/Wmi.h"
#include "profile/MachineProfile.h"
#include "profile/OfficeDetection.h"

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

using Guess = std::pair<std::string, std::string>;

TEST(GuessAppFromPath, FoldersNameTheVersionOrThePathStandsForItself) {
  const std::pair<std::string, Guess> cases[] = {
      {"c:\\program files\\microsoft office\\root\\office16\\winword.exe", {"winword", "16"}},
      {"c:\\kingsoft\\wps office\\11.1.0.10000\\office6\\wps.exe", {"wps", "11"}},
      // The first folder with a dot is taken, even a user name.
      {"c:\\users\\li.wei\\appdata\\local\\kingsoft\\wps office\\12.1.0.1\\office6\\wps.exe", {"wps", "li"}},
  };
  for (const auto& [path, guess] : cases) EXPECT_EQ(GuessAppFromPath(path), guess) << path;
  for (const std::string path :
       {"", "c:\\winword.exe", "c:\\libre\\soffice.exe", "c:\\office16\\WINWORD.EXE"})
    EXPECT_EQ(GuessAppFromPath(path), Guess(path, "0.0.0")) << path;
}

// The add-in list from HKEY_CURRENT_USER's add-in keys, given in enumeration order.
struct Addin {
  std::string app, name;
  RegValue loadBehavior;
  std::string description = {};
};
std::string AddinList(const std::vector<Addin>& addins) {
  const auto keyOf = [](const Addin& a) { return "Software\\Microsoft\\Office\\" + a.app + "\\Addins"; };
  AddinSources sources;
  sources.subKeys = [&](const std::string& key) {
    std::vector<std::string> names;
    for (const Addin& addin : addins)
      if (key == keyOf(addin)) names.push_back(addin.name);
    return names;
  };
  sources.readValue = [&](const std::string& key, const std::string& value) -> std::optional<RegValue> {
    for (const Addin& addin : addins)
      if (key == keyOf(addin) + "\\" + addin.name)
        return value == "LoadBehavior" ? addin.loadBehavior : RegValue(addin.description);
    return std::nullopt;
  };
  return BuildOfficeAddins(sources);
}

TEST(OfficeAddinList, MembersInApplicationOrderUnescapedWithDuplicatesAndNumericTexts) {
  EXPECT_EQ(AddinList({{"PowerPoint", "Pp.Connect", 3},
                       {"Word", "Vendor.Connect", 3, "Some \"Add-in\""},
                       {"Word", "TextTwo", " 2 "},
                       {"Word", "Twin.Connect", 9, "Some \"Add-in\""},
                       {"Word", "Negative", -1},
                       {"Word", "TextZero", "0"},
                       {"Excel", "Off.Connect", 0, "Disabled"}}),
            "{\"Word\":[\"Some \"Add-in\"\",\"TextTwo\",\"Some \"Add-in\"\"],\"Excel\":[],"
            "\"PowerPoint\":[\"Pp.Connect\"]}");
}

TEST(DefaultDocApp, UnknownVersionAsksExcelThenWpsAndTakesTheAnswer) {
  std::vector<std::string> asked;
  DocAppSources sources;
  sources.classesRootDefault = [](const std::string& key) -> std::optional<std::string> {
    if (key == ".xls") return "Sheet";
    if (key == "Sheet\\shell\\Open\\command") return "c:\\apps\\sheet.exe %1";
    return std::nullopt;
  };
  sources.fileVersion = [](const std::string&) { return std::string("0.0.0"); };
  sources.automation = [&asked](const std::string& progId, const std::string& appName, DocAppInfo& answer) {
    asked.push_back(progId + "/" + appName);
    if (progId != "ket.Application") return false;
    answer = {"wps", "12", "c:\\kso\\office6", "c:\\kso\\office6\\wps.exe"};
    return true;
  };
  DocAppInfo info;
  EXPECT_TRUE(ResolveDefaultDocApp(sources, info));
  EXPECT_EQ(asked, (std::vector<std::string>{"Excel.Application/winword", "ket.Application/wps"}));
  EXPECT_EQ(info.AppName + "|" + info.Version + "|" + info.Folder + "|" + info.ExePath,
            "wps|12|c:\\kso\\office6\\|c:\\kso\\office6\\wps.exe");
}

}  // namespace
}  // namespace zel
