// The rules of the Office detection: names and versions from handler paths, the
// automation servers' answers (through a platform whose servers the test chooses),
// and what an add-in is listed as.
#include "profile/OfficeDetection.h"

#include <gtest/gtest.h>

#include <map>

#include "support/VirtualPlatform.h"

namespace zel {
namespace {

using App = std::pair<std::string, std::string>;

TEST(GuessAppFromPath, FoldersNameTheVersionOrThePathStandsForItself) {
  const std::pair<std::string, App> cases[] = {
      {"c:\\program files\\microsoft office\\root\\office16\\winword.exe", {"winword", "16"}},
      {"c:\\kingsoft\\wps office\\11.1.0.10000\\office6\\wps.exe", {"wps", "11"}},
      // The first folder with a dot is taken, even a user name.
      {"c:\\users\\li.wei\\appdata\\local\\kingsoft\\wps office\\12.1.0.1\\office6\\wps.exe", {"wps", "li"}},
  };
  for (const auto& [path, guess] : cases) EXPECT_EQ(GuessAppFromPath(path), guess) << path;
  for (const std::string path :
       {"", "c:\\winword.exe", "c:\\libre\\soffice.exe", "c:\\office16\\WINWORD.EXE"})
    EXPECT_EQ(GuessAppFromPath(path), App(path, "0.0.0")) << path;
}

TEST(AppFromFileVersion, AFileVersionOverridesTheFoldersAndOnlyItsMajorPartCounts) {
  EXPECT_EQ(AppFromFileVersion("c:\\office16\\winword.exe", "15.0.4569"), App("winword", "15"));
  EXPECT_EQ(AppFromFileVersion("c:\\apps\\sheet.exe.exe", "7.3.40000"), App("sheet", "7"));
  EXPECT_EQ(AppFromFileVersion("sheet.exe", "7.3.40000"), App("sheet.exe", "7"));  // no folder: the path
  EXPECT_EQ(AppFromFileVersion("c:\\office16\\winword.exe", "0.0.0"), App("winword", "16"));
}

// DocAppInfo as AppName|Version|Folder|ExePath.
std::string Fields(const DocAppInfo& info) {
  return info.AppName + "|" + info.Version + "|" + info.Folder + "|" + info.ExePath;
}

// The automation servers registered on the machine, by ProgID; every question is noted.
class AutomationServers : public ::testing::Test {
 protected:
  AutomationServers() {
    platform_.askAutomationServer =
        [this](const std::string& progId) -> std::optional<AutomationServerFacts> {
      asked.push_back(progId);
      const auto server = servers.find(progId);
      if (server == servers.end()) return std::nullopt;
      return server->second;
    };
  }

  std::map<std::string, AutomationServerFacts> servers;
  std::vector<std::string> asked;

 private:
  test::VirtualPlatform platform_;
};

TEST_F(AutomationServers, AnAnswerNamesTheProgramInTheServersFolderByItsMajorVersion) {
  servers["Excel.Application"] = {"16.0", "C:\\Office\\root\\Office16"};
  DocAppInfo info;
  EXPECT_TRUE(DetectOfficeByAutomation("Excel.Application", "winword", info));
  EXPECT_EQ(Fields(info), "winword|16|C:\\Office\\root\\Office16|C:\\Office\\root\\Office16\\winword.exe");

  // A version without a dot is no answer, and neither is a missing server.
  servers["ket.Application"] = {"12", "c:\\kso\\office6"};
  DocAppInfo untouched{"a", "b", "c", "d"};
  EXPECT_FALSE(DetectOfficeByAutomation("ket.Application", "wps", untouched));
  EXPECT_FALSE(DetectOfficeByAutomation("Nobody.Application", "wps", untouched));
  EXPECT_EQ(Fields(untouched), "a|b|c|d");
}

TEST_F(AutomationServers, UnknownVersionAsksExcelThenWpsAndTakesTheFirstAnswer) {
  servers["ket.Application"] = {"12.1.0.16120", "c:\\kso\\office6"};
  DocAppInfo info{"c:\\apps\\sheet.exe", "0.0.0", "", "c:\\apps\\sheet.exe"};
  EXPECT_TRUE(CompleteDocApp(info));
  EXPECT_EQ(asked, (std::vector<std::string>{"Excel.Application", "ket.Application"}));
  EXPECT_EQ(Fields(info), "wps|12|c:\\kso\\office6\\|c:\\kso\\office6\\wps.exe");

  servers["Excel.Application"] = {"16.0", "c:\\office16"};
  asked.clear();
  info = {"c:\\apps\\sheet.exe", "0.0.0", "", "c:\\apps\\sheet.exe"};
  EXPECT_TRUE(CompleteDocApp(info));
  EXPECT_EQ(asked, std::vector<std::string>{"Excel.Application"});
  EXPECT_EQ(Fields(info), "winword|16|c:\\office16\\|c:\\office16\\winword.exe");
}

TEST_F(AutomationServers, OnlyAnUnknownVersionAsksAndWithoutAnswerItStaysUnknown) {
  servers["Excel.Application"] = {"16.0", "c:\\office16"};
  // No handler, a bare command, a version from the file or the folders.
  const std::pair<DocAppInfo, std::string> known[] = {
      {{}, "|||"},
      {{"c:\\apps\\sheet.exe", "0", "x", "c:\\apps\\sheet.exe"},
       "c:\\apps\\sheet.exe|0|c:\\apps\\|c:\\apps\\sheet.exe"},
      {{"sheet.exe", "7", "x", "sheet.exe"}, "sheet.exe|7||sheet.exe"},
  };
  for (auto [info, fields] : known) {
    EXPECT_TRUE(CompleteDocApp(info));
    EXPECT_EQ(Fields(info), fields);
  }
  EXPECT_TRUE(asked.empty());

  servers.clear();
  DocAppInfo info{"c:\\apps\\editor.exe", "0.0.0", "", "c:\\apps\\editor.exe"};
  EXPECT_FALSE(CompleteDocApp(info));
  EXPECT_EQ(Fields(info), "c:\\apps\\editor.exe|0.0.0|c:\\apps\\|c:\\apps\\editor.exe");
}

TEST(AddinEntry, TheDescriptionDecidesWhenThereIsOneAndEachListExcludesOnlyItsKind) {
  const struct {
    const char *keyName, *description, *entry;
  } cases[] = {
      {"Vendor.Connect", "", "Vendor.Connect"},
      {"Vendor.Connect", "Some Add-in", "Some Add-in"},
      {"WEBPAGE.CONNECT", "", ""},
      {"WordEEFonts.Connect", "", ""},
      {"wordjpostcardwizard.connect", "", ""},
      {"WebPage.Connect", "Web page", "Web page"},
      {"PowerPivotExcelClientAddIn.NativeEntry.1", "MICROSOFT POWER PIVOT FOR EXCEL", ""},
      {"Power.View", "Microsoft Power View for Excel", ""},
      {"Microsoft Power View for Excel", "", "Microsoft Power View for Excel"},
      {"Some.Connect", "WebPage.Connect", "WebPage.Connect"},
  };
  for (const auto& c : cases) EXPECT_EQ(AddinEntry(c.keyName, c.description), c.entry) << c.keyName;
}

}  // namespace
}  // namespace zel
