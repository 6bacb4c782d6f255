#include <optional>

#include "ProfileTestSupport.h"
#include "profile/mdGetMachineInfo.h"
#include "profile/modFileVersion.h"
#include "profile/modGetOfficeInfo.h"

namespace zel {
namespace {

using testing::ScratchFolder;

TEST(FileVersion, BuildIsTheLastComponentUnsignedAndNoResourceGivesNoVersion) {
  const std::pair<std::string, std::string> cases[] = {
      {ScratchFolder::BesideTests("verstamp_16_0_17328_20124.exe"), "16.0.20124"},
      {ScratchFolder::BesideTests("verstamp_7_3_1_40000.exe"), "7.3.40000"},
      {ScratchFolder::BesideTests("verstamp_none.exe"), "0.0.0"},
      {ScratchFolder::BesideTests(""), "0.0.0"},  // the folder
      {ScratchFolder::BesideTests("no-such-program.exe"), "0.0.0"},
  };
  for (const auto& [path, version] : cases) EXPECT_EQ(GetFileVersion(path), version) << path;
  ScratchFolder folder;  // the path crosses in the ANSI code page
  EXPECT_EQ(GetFileVersion(folder.CopyBeside("verstamp_16_0_17328_20124.exe", "\xE5\x8D\x87\\winword.exe")),
            "16.0.20124");
}

class DocAssociations : public testing::RegistrySandbox {
 protected:
  void Associate(const std::string& extension, const std::string& progId, const std::string& command) {
    Set(HKEY_CLASSES_ROOT, extension, "", progId);
    if (!command.empty()) Set(HKEY_CLASSES_ROOT, progId + "\\shell\\Open\\command", "", command);
  }
  // AppName|Version|Folder|ExePath of the default handler, and whether a version was found.
  static std::string Detected(bool expectFound = true) {
    DocAppInfo info{"x", "x", "x", "x"};
    EXPECT_EQ(GetDefaultDocApp(info), expectFound);
    return info.AppName + "|" + info.Version + "|" + info.Folder + "|" + info.ExePath;
  }
  ScratchFolder folder_;
};

TEST_F(DocAssociations, DocfileIsSkippedAndABarePathIsTakenWithVersionZero) {
  EXPECT_EQ(Detected(), "|||");
  EXPECT_EQ(GetDocShellProfile(), DefaultDocShellProfile());

  Associate(".docx", "DocFile", "\"c:\\old\\office14\\winword.exe\" /n");
  Associate(".xlsx", "Zel.Sheet", "C:\\Apps\\Sheet.exe");
  Associate(".doc", "Zel.Doc", "\"c:\\never\\office16\\winword.exe\" /n");
  // Version "0" is known: no automation server is asked, and detection succeeds.
  EXPECT_EQ(Detected(), "c:\\apps\\sheet.exe|0|c:\\apps\\|c:\\apps\\sheet.exe");
  EXPECT_EQ(GetDocShellProfile(), DocShellProfileText("c:\\apps\\sheet.exe", "0", "{}"));
}

TEST_F(DocAssociations, FirstExtensionWithACommandDecidesAndTheFileGivesTheVersion) {
  const std::string winword = folder_.CopyBeside("verstamp_16_0_17328_20124.exe", "Office16\\WINWORD.EXE");
  Associate(".docx", "Zel.NoCommand", "");
  Associate(".xlsx", "Zel.Sheet", "  \"" + winword + "\" /n /e \"%1\"");
  Associate(".doc", "Zel.Doc", "c:\\apps\\doc.exe %1");
  EXPECT_EQ(Detected(), "winword|16|" + LowerText(folder_.Path("Office16\\")) + "|" + LowerText(winword));
}

TEST_F(DocAssociations, UnknownVersionFailsWhenNoAutomationServerAnswers) {
  // Neither automation server is registered here.
  Associate(".docx", "Zel.Doc", "c:\\apps\\editor.exe \"%1\"");
  EXPECT_EQ(Detected(false), "c:\\apps\\editor.exe|0.0.0|c:\\apps\\|c:\\apps\\editor.exe");
}

class OfficeAddins : public testing::RegistrySandbox {
 protected:
  static void Addin(const std::string& app, const std::string& name, std::optional<DWORD> loadBehavior,
                    const std::string& description = "") {
    const std::string key = "Software\\Microsoft\\Office\\" + app + "\\Addins\\" + name;
    if (loadBehavior) Set(HKEY_CURRENT_USER, key, "LoadBehavior", *loadBehavior);
    if (!description.empty()) Set(HKEY_CURRENT_USER, key, "Description", description);
  }
};

TEST_F(OfficeAddins, LoadBehaviorExclusionsAndDescriptionsDecideTheEntries) {
  Addin("Word", "A.Connect", 0);
  Addin("Word", "B.Connect", 0);
  EXPECT_EQ(GetOfficeAddins(), "{\"Word\":[]}");

  Addin("Excel", "Never.Connect", std::nullopt, "Never loaded");
  Addin("Excel", "PowerPivotExcelClientAddIn.NativeEntry.1", 3, "MICROSOFT POWER PIVOT FOR EXCEL");
  Addin("Excel", "Kept.Connect", 3);
  Addin("Word", "WebPage.Connect", 1, "\xE7\xBD\x91\xE9\xA1\xB5");  // 网页, stored in GBK
  Addin("Word", "OneNote.WordAddinTakeNotesService", 3);
  EXPECT_EQ(GetOfficeAddins(), "{\"Word\":[\"\xE7\xBD\x91\xE9\xA1\xB5\"],\"Excel\":[\"Kept.Connect\"]}");
  // Only the handlers that load Word add-ins send them.
  for (const char* handler : {"winword", "moc"}) EXPECT_EQ(GetDocShellAddins(handler), GetOfficeAddins());
  EXPECT_EQ(GetDocShellAddins("wps"), "{}");
}

TEST_F(OfficeAddins, TextLoadBehaviorThatIsNoNumberAbandonsTheList) {
  Addin("Word", "A.Connect", 3);
  Set(HKEY_CURRENT_USER, "Software\\Microsoft\\Office\\Excel\\Addins\\B.Connect", "LoadBehavior", "yes");
  EXPECT_EQ(GetOfficeAddins(), "{}");
}

}  // namespace
}  // namespace zel
