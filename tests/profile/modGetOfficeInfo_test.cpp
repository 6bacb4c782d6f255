#include "profile/modGetOfficeInfo.h"

#include <gtest/gtest.h>

#include <map>

#include "system/SystemSeam.h"

namespace zel {
namespace {

using Guess = std::pair<std::string, std::string>;

TEST(GuessAppFromPath, FoldersNameTheVersion) {
  EXPECT_EQ(GuessAppFromPath("c:\\program files\\microsoft office\\root\\office16\\winword.exe"),
            Guess("winword", "16"));
  EXPECT_EQ(GuessAppFromPath("c:\\kingsoft\\wps office\\11.1.0.10000\\office6\\wps.exe"), Guess("wps", "11"));
  // The first folder with a dot is taken, even a user name.
  EXPECT_EQ(
      GuessAppFromPath("c:\\users\\li.wei\\appdata\\local\\kingsoft\\wps office\\12.1.0.1\\office6\\wps.exe"),
      Guess("wps", "li"));
}

TEST(GuessAppFromPath, OtherPathsGiveThemselvesAndNoVersion) {
  for (const std::string path :
       {"", "c:\\winword.exe", "c:\\libre\\soffice.exe", "c:\\office16\\WINWORD.EXE"})
    EXPECT_EQ(GuessAppFromPath(path), Guess(path, "0.0.0")) << path;
}

TEST(IsExcludedAddin, EachListAppliesToItsOwnKindWithoutCase) {
  EXPECT_TRUE(IsExcludedAddin("MICROSOFT POWER PIVOT FOR EXCEL", false));
  EXPECT_TRUE(IsExcludedAddin("Microsoft Power View for Excel", false));
  EXPECT_TRUE(IsExcludedAddin("webpage.CONNECT", true));
  EXPECT_TRUE(IsExcludedAddin("WordJPostcardWizard.Connect", true));
  EXPECT_FALSE(IsExcludedAddin("WebPage.Connect", false));
  EXPECT_FALSE(IsExcludedAddin("Microsoft Power Pivot for Excel", true));
}

// HKEY_CURRENT_USER's add-in keys as maps: sub-keys in the order added.
struct FakeAddinRegistry {
  std::map<std::string, std::vector<std::string>> subKeys;
  std::map<std::string, RegValue> values;  // "key|name" -> value

  void Add(const std::string& app, const std::string& name, std::optional<RegValue> loadBehavior,
           const std::string& description = "") {
    const std::string key = "Software\\Microsoft\\Office\\" + app + "\\Addins";
    subKeys[key].push_back(name);
    if (loadBehavior) values[key + "\\" + name + "|LoadBehavior"] = *loadBehavior;
    if (!description.empty()) values[key + "\\" + name + "|Description"] = description;
  }
  std::string Build() const {
    AddinSources sources;
    sources.subKeys = [this](const std::string& key) {
      return subKeys.contains(key) ? subKeys.at(key) : std::vector<std::string>();
    };
    sources.readValue = [this](const std::string& key, const std::string& name) -> std::optional<RegValue> {
      const auto it = values.find(key + "|" + name);
      return it == values.end() ? std::nullopt : std::optional<RegValue>(it->second);
    };
    return BuildOfficeAddins(sources);
  }
};

TEST(OfficeAddinList, MembersInApplicationOrderWithNamesUnescapedAndDuplicatesKept) {
  FakeAddinRegistry reg;
  reg.Add("PowerPoint", "Pp.Connect", 3);
  reg.Add("Word", "Vendor.Connect", 3, "Some \"Add-in\"");
  reg.Add("Word", "Other.Connect", 1);
  reg.Add("Word", "Twin.Connect", 9, "Some \"Add-in\"");
  reg.Add("Excel", "Off.Connect", 0, "Disabled");
  EXPECT_EQ(reg.Build(),
            "{\"Word\":[\"Some \"Add-in\"\",\"Other.Connect\",\"Some \"Add-in\"\"],\"Excel\":[],"
            "\"PowerPoint\":[\"Pp.Connect\"]}");
}

class CountingSeam : public SystemSeam {
 public:
  int pumps = 0;
  void SleepMs(std::uint32_t) override {}
  void PumpMessages() override { ++pumps; }
  CivilDate Today() override { return {}; }
  int AskUser(const std::string&, const std::string&, unsigned) override { return 0; }
  bool IsWinXPOrOlder() override { return false; }
  bool IsElevated() override { return false; }
};

TEST(OfficeAddinList, LoadBehaviorAsNumberOrTextAndOneNoteSkipped) {
  FakeAddinRegistry reg;
  reg.Add("Word", "Negative", -1);
  reg.Add("Word", "TextTwo", std::string(" 2 "));
  reg.Add("Word", "TextZero", std::string("0"));
  reg.Add("Word", "OneNote.WordAddinTakeNotesService", 3);
  reg.Add("Word", "onenote.lower", 3);  // the prefix test minds case
  CountingSeam seam;
  SetSeam(&seam);
  const std::string list = reg.Build();
  SetSeam(nullptr);
  EXPECT_EQ(list, "{\"Word\":[\"TextTwo\",\"onenote.lower\"]}");
  EXPECT_EQ(seam.pumps, 1);  // the window keeps responding over skipped keys

  reg.Add("Excel", "Bad", std::string("on"));
  EXPECT_EQ(reg.Build(), "{}");
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
  EXPECT_EQ(info.AppName, "wps");
  EXPECT_EQ(info.Version, "12");
  EXPECT_EQ(info.ExePath, "c:\\kso\\office6\\wps.exe");
  EXPECT_EQ(info.Folder, "c:\\kso\\office6\\");
}

}  // namespace
}  // namespace zel
