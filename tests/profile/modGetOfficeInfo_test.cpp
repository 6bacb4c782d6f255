#include "profile/modGetOfficeInfo.h"

#include <gtest/gtest.h>

namespace zel {
namespace {

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
  std::optional<RegValue> loadBehavior;
  std::string description = {};
};
std::string AddinList(const std::vector<Addin>& addins) {
  const auto keyOf = [](const std::string& app) {
    return "Software\\Microsoft\\Office\\" + app + "\\Addins";
  };
  AddinSources sources;
  sources.subKeys = [&](const std::string& key) {
    std::vector<std::string> names;
    for (const Addin& addin : addins)
      if (key == keyOf(addin.app)) names.push_back(addin.name);
    return names;
  };
  sources.readValue = [&](const std::string& key, const std::string& value) -> std::optional<RegValue> {
    for (const Addin& addin : addins) {
      if (key != keyOf(addin.app) + "\\" + addin.name) continue;
      if (value == "LoadBehavior") return addin.loadBehavior;
      if (!addin.description.empty()) return addin.description;
    }
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

TEST(DefaultDocApp, UnreadableVersionIsGuessedFromFoldersElseExcelThenWpsAutomationAnswers) {
  std::string command = "\"c:\\office16\\winword.exe\" /n \"%1\"";
  std::vector<std::string> asked;
  DocAppSources sources;
  sources.classesRootDefault = [&command](const std::string& key) -> std::optional<std::string> {
    if (key == ".xls") return "Sheet";
    if (key == "Sheet\\shell\\Open\\command") return command;
    return std::nullopt;
  };
  sources.fileVersion = [](const std::string&) { return std::string("0.0.0"); };
  sources.automation = [&asked](const std::string& progId, const std::string& appName, DocAppInfo& answer) {
    asked.push_back(progId + "/" + appName);
    if (progId != "ket.Application") return false;
    answer = {"wps", "12", "c:\\kso\\office6", "c:\\kso\\office6\\wps.exe"};
    return true;
  };
  const auto resolved = [&sources] {
    DocAppInfo info;
    EXPECT_TRUE(ResolveDefaultDocApp(sources, info));
    return info.AppName + "|" + info.Version + "|" + info.Folder + "|" + info.ExePath;
  };
  EXPECT_EQ(resolved(), "winword|16|c:\\office16\\|c:\\office16\\winword.exe");
  EXPECT_TRUE(asked.empty());
  command = "c:\\apps\\sheet.exe %1";
  EXPECT_EQ(resolved(), "wps|12|c:\\kso\\office6\\|c:\\kso\\office6\\wps.exe");
  EXPECT_EQ(asked, (std::vector<std::string>{"Excel.Application/winword", "ket.Application/wps"}));
}

}  // namespace
}  // namespace zel
