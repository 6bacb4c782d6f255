// The rules of the Office detection: names and versions from handler paths, the
// automation servers' answers (through a platform whose servers the test chooses),
// and what an add-in is listed as.
#include "profile/OfficeDetection.h"

#include <gtest/gtest.h>

#include <map>

#include "support/VirtualPlatform.h"

namespace zel {

using App = std::pair<std::string, std::string>;

TEST(AppFromPath, TheFileVersionsMajorPartOrElseTheFoldersNameTheVersionOrThePathStandsForItself) {
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

  EXPECT_EQ(AppFromFileVersion("c:\\office16\\winword.exe", "15.0.4569"), App("winword", "15"));
  EXPECT_EQ(AppFromFileVersion("c:\\apps\\sheet.exe.exe", "7.3.40000"), App("sheet", "7"));
  EXPECT_EQ(AppFromFileVersion("sheet.exe", "7.3.40000"), App("sheet.exe", "7"));  // no folder: the path
  EXPECT_EQ(AppFromFileVersion("c:\\office16\\winword.exe", "0.0.0"), App("winword", "16"));
}

// Only an unknown version asks the automation servers, Excel's and then WPS's; the
// first answer whose version has a dot replaces the record. The folder then comes from
// the program's path.
TEST(CompleteDocApp, OnlyAnUnknownVersionAsksExcelThenWpsAndTheFirstAnswerTakesOver) {
  using Servers = std::map<std::string, AutomationServerFacts>;
  const Servers both = {{"Excel.Application", {"16.0", "c:\\o"}},
                        {"ket.Application", {"12.1.0.16120", "c:\\k"}}};
  const Servers excelWithoutDot = {{"Excel.Application", {"16", "c:\\o"}}, *both.rbegin()};
  const DocAppInfo unknown{"c:\\a\\x.exe", "0.0.0", "", "c:\\a\\x.exe"};
  const std::string excelThenWps = "Excel.Application ket.Application ";
  // Expected: the servers asked, then AppName|Version|Folder|ExePath.
  const std::tuple<Servers, DocAppInfo, std::string> rows[] = {
      {both, unknown, "Excel.Application : winword|16|c:\\o\\|c:\\o\\winword.exe"},
      {excelWithoutDot, unknown, excelThenWps + ": wps|12|c:\\k\\|c:\\k\\wps.exe"},
      {{}, unknown, excelThenWps + ": c:\\a\\x.exe|0.0.0|c:\\a\\|c:\\a\\x.exe"},
      // No handler, a bare command, a version from the file or the folders.
      {both, {}, ": |||"},
      {both, {"c:\\a\\x.exe", "0", "x", "c:\\a\\x.exe"}, ": c:\\a\\x.exe|0|c:\\a\\|c:\\a\\x.exe"},
      {both, {"x.exe", "7", "x", "x.exe"}, ": x.exe|7||x.exe"},
  };
  for (auto [servers, info, expected] : rows) {
    test::VirtualPlatform platform;
    std::string asked;
    platform.askAutomationServer = [&](const std::string& progId) -> std::optional<AutomationServerFacts> {
      asked += progId + " ";
      const auto server = servers.find(progId);
      return server == servers.end() ? std::nullopt : std::optional(server->second);
    };
    const bool known = CompleteDocApp(info);
    EXPECT_EQ(known, info.Version != "0.0.0") << expected;
    EXPECT_EQ(asked + ": " + info.AppName + "|" + info.Version + "|" + info.Folder + "|" + info.ExePath, expected);
  }
}

TEST(AddinEntry, TheDescriptionDecidesWhenThereIsOneAndEachListExcludesOnlyItsKind) {
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"Vendor.Connect", "", "Vendor.Connect"},
      {"Vendor.Connect", "Some Add-in", "Some Add-in"},
      {"WEBPAGE.CONNECT", "", ""},
      {"WebPage.Connect", "Web page", "Web page"},
      {"PowerPivotExcelClientAddIn.NativeEntry.1", "MICROSOFT POWER PIVOT FOR EXCEL", ""},
      {"Microsoft Power Pivot for Excel", "", "Microsoft Power Pivot for Excel"},
      {"Some.Connect", "WebPage.Connect", "WebPage.Connect"},
  };
  for (const auto& [keyName, description, entry] : cases)
    EXPECT_EQ(AddinEntry(keyName, description), entry) << keyName;
}

}  // namespace zel
