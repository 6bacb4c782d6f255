#include "ProfileTestSupport.h"
#include "profile/mdGetMachineInfo.h"
#include "profile/modGetOfficeInfo.h"
#include "protocol/TextCodecs.h"
#include "system/TextWin.h"

namespace zel {
namespace {

class DocAssociations : public testing::RegistrySandbox {
 protected:
  void Associate(const std::string& extension, const std::string& progId, const char* command) {
    SetText(HKEY_CLASSES_ROOT, extension, "", progId);
    if (command) SetText(HKEY_CLASSES_ROOT, progId + "\\shell\\Open\\command", "", command);
  }
  testing::ScratchFolder folder_;
};

TEST_F(DocAssociations, NothingAssociatedGivesEmptyRecordAndDefaultProfile) {
  DocAppInfo info{"x", "x", "x", "x"};
  EXPECT_TRUE(GetDefaultDocApp(info));
  EXPECT_EQ(info.AppName, "");
  EXPECT_EQ(info.Version, "");
  EXPECT_EQ(info.Folder, "");
  EXPECT_EQ(info.ExePath, "");
  EXPECT_EQ(GetDocShellProfile(), DefaultDocShellProfile());
}

TEST_F(DocAssociations, DocfileIsSkippedAndBarePathGivesVersionZero) {
  Associate(".docx", "DocFile", "\"c:\\old\\office14\\winword.exe\" /n");
  Associate(".xlsx", "Zel.Sheet", "C:\\Apps\\Sheet.exe");
  Associate(".doc", "Zel.Doc", "\"c:\\never\\office16\\winword.exe\" /n");
  DocAppInfo info;
  EXPECT_TRUE(GetDefaultDocApp(info));
  EXPECT_EQ(info.AppName, "c:\\apps\\sheet.exe");
  EXPECT_EQ(info.Version, "0");
  EXPECT_EQ(info.ExePath, "c:\\apps\\sheet.exe");
  EXPECT_EQ(info.Folder, "c:\\apps\\");
  EXPECT_EQ(GetDocShellProfile(), DocShellProfileText("c:\\apps\\sheet.exe", "0", "{}"));
}

TEST_F(DocAssociations, FirstExtensionWithACommandDecidesAndTheFileGivesTheVersion) {
  const std::string winword = folder_.CopyBeside("verstamp_16_0_17328_20124.exe", "Office16\\WINWORD.EXE");
  Associate(".docx", "Zel.NoCommand", nullptr);
  Associate(".xlsx", "Zel.Sheet", ("  \"" + winword + "\" /n /e \"%1\"").c_str());
  Associate(".doc", "Zel.Doc", "c:\\apps\\doc.exe %1");
  DocAppInfo info;
  EXPECT_TRUE(GetDefaultDocApp(info));
  EXPECT_EQ(info.AppName, "winword");
  EXPECT_EQ(info.Version, "16");
  EXPECT_EQ(info.ExePath, LowerText(winword));
  EXPECT_EQ(info.Folder, LowerText(folder_.Path("Office16\\")));
}

TEST_F(DocAssociations, UnreadableVersionIsGuessedFromTheFolders) {
  const std::string winword = folder_.CopyBeside("verstamp_none.exe", "office16\\winword.exe");
  Associate(".docx", "Word.Document.12", ("\"" + winword + "\" /n \"%1\"").c_str());
  DocAppInfo info;
  EXPECT_TRUE(GetDefaultDocApp(info));
  EXPECT_EQ(info.AppName, "winword");
  EXPECT_EQ(info.Version, "16");

  Associate(".docx", "KWPS.Document.12",
            "\"c:\\kingsoft\\wps office\\11.1.0.10000\\office6\\wps.exe\" /w \"%1\"");
  EXPECT_TRUE(GetDefaultDocApp(info));
  EXPECT_EQ(info.AppName, "wps");
  EXPECT_EQ(info.Version, "11");
  // WPS add-ins are never listed, even when Word has some.
  SetDword(HKEY_CURRENT_USER, "Software\\Microsoft\\Office\\Word\\Addins\\Zel.Connect", "LoadBehavior", 3);
  EXPECT_EQ(GetDocShellProfile(), DocShellProfileText("wps", "11", "{}"));
}

TEST_F(DocAssociations, WithoutAnyVersionNoAutomationServerAnswers) {
  // No spreadsheet automation server is registered here: both are tried and fail.
  DocAppInfo untouched{"a", "b", "c", "d"};
  EXPECT_FALSE(DetectOfficeByAutomation("Excel.Application", "winword", untouched));
  EXPECT_EQ(untouched.Version, "b");

  Associate(".docx", "Zel.Doc", "c:\\apps\\editor.exe \"%1\"");
  DocAppInfo info;
  EXPECT_FALSE(GetDefaultDocApp(info));
  EXPECT_EQ(info.AppName, "c:\\apps\\editor.exe");
  EXPECT_EQ(info.Version, "0.0.0");
  EXPECT_EQ(info.Folder, "c:\\apps\\");
}

using OfficeAddins = testing::RegistrySandbox;

constexpr const char* kWordAddins = "Software\\Microsoft\\Office\\Word\\Addins\\";
constexpr const char* kExcelAddins = "Software\\Microsoft\\Office\\Excel\\Addins\\";

TEST_F(OfficeAddins, DisabledAddinsLeaveAnEmptyMember) {
  SetDword(HKEY_CURRENT_USER, std::string(kWordAddins) + "A.Connect", "LoadBehavior", 0);
  SetDword(HKEY_CURRENT_USER, std::string(kWordAddins) + "B.Connect", "LoadBehavior", 0);
  EXPECT_EQ(GetOfficeAddins(), "{\"Word\":[]}");
}

TEST_F(OfficeAddins, AddinWithoutLoadBehaviorIsSkipped) {
  SetDword(HKEY_CURRENT_USER, std::string(kWordAddins) + "A.Connect", "LoadBehavior", 3);
  SetText(HKEY_CURRENT_USER, std::string(kWordAddins) + "B.Connect", "Description", "Never loaded");
  EXPECT_EQ(GetOfficeAddins(), "{\"Word\":[\"A.Connect\"]}");
}

TEST_F(OfficeAddins, ExclusionsAndDescriptionsDecideTheEntries) {
  const std::string pivot = std::string(kExcelAddins) + "PowerPivotExcelClientAddIn.NativeEntry.1";
  SetDword(HKEY_CURRENT_USER, pivot, "LoadBehavior", 3);
  SetText(HKEY_CURRENT_USER, pivot, "Description", "MICROSOFT POWER PIVOT FOR EXCEL");
  const std::string webPage = std::string(kWordAddins) + "WebPage.Connect";
  SetDword(HKEY_CURRENT_USER, webPage, "LoadBehavior", 1);
  SetText(HKEY_CURRENT_USER, webPage, "Description", "\xE7\xBD\x91\xE9\xA1\xB5");  // 网页
  SetDword(HKEY_CURRENT_USER, std::string(kWordAddins) + "OneNote.WordAddinTakeNotesService", "LoadBehavior",
           3);
  EXPECT_EQ(GetOfficeAddins(), "{\"Word\":[\"\xE7\xBD\x91\xE9\xA1\xB5\"],\"Excel\":[]}");
  EXPECT_EQ(GetDocShellAddins("moc"), GetOfficeAddins());
}

TEST_F(OfficeAddins, TextLoadBehaviorThatIsNoNumberAbandonsTheList) {
  SetDword(HKEY_CURRENT_USER, std::string(kWordAddins) + "A.Connect", "LoadBehavior", 3);
  SetText(HKEY_CURRENT_USER, std::string(kExcelAddins) + "B.Connect", "LoadBehavior", "yes");
  EXPECT_EQ(GetOfficeAddins(), "{}");
}

TEST_F(OfficeAddins, WordHandlerSendsItsAddinsInTheDocumentProfile) {
  SetDword(HKEY_CURRENT_USER, std::string(kWordAddins) + "A.Connect", "LoadBehavior", 3);
  SetText(HKEY_CLASSES_ROOT, ".docx", "", "Word.Document.12");
  SetText(HKEY_CLASSES_ROOT, "Word.Document.12\\shell\\Open\\command", "",
          "\"c:\\office\\office15\\winword.exe\" /n \"%1\"");
  EXPECT_EQ(GetDocShellProfile(), "DocShellApp=" + HexEncodeText("winword") +
                                      "&DocShellVer=" + HexEncodeText("15") +
                                      "&OfficeAddins=" + HexEncodeText("{\"Word\":[\"A.Connect\"]}"));
}

}  // namespace
}  // namespace zel
