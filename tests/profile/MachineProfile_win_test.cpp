// The machine profile from this machine's registry, files and WMI; the registry is
#include "settings/SettingsFile.h"
// a private sandbox for each test.
#include "settings/SettingsFile.h"
#include <objbase.h>
#include "settings/SettingsFile.h"

#include "settings/SettingsFile.h"
#include "support/RegistrySandbox_win.h"
#include "settings/SettingsFile.h"
#include "system/Wmi.h"
#include "settings/SettingsFile.h"
#include "profile/MachineProfile.h"
#include "settings/SettingsFile.h"
#include "profile/FileVersion.h"
#include "profile/OfficeDetection.h"
#include "protocol/TextCodecs.h"

namespace zel {
namespace {

using test::ScratchFolder;
using MachineProfile = test::RegistrySandbox;

TEST_F(MachineProfile, HttpsHandlerFromTheUserChoiceOrElseTheHttpsClass) {
  const std::string userChoice =
      "Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\https\\UserChoice";
  EXPECT_EQ(GetHttpsShellApp(), "unknown");
  Set(HKEY_CLASSES_ROOT, "https\\shell\\open\\command", "", "C:\\Tools\\Browser.EXE -url \"%1\"");
  EXPECT_EQ(GetHttpsShellApp(), "browser");
  Set(HKEY_CURRENT_USER, userChoice, "ProgId", "");
  EXPECT_EQ(GetHttpsShellApp(), "browser");
  // A chosen class without a command is not replaced by the https class.
  Set(HKEY_CURRENT_USER, userChoice, "ProgId", "ChromeHTML");
  EXPECT_EQ(GetHttpsShellApp(), "unknown");
  Set(HKEY_CLASSES_ROOT, "ChromeHTML\\shell\\open\\command", "",
      "\"C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe\" --single-argument %1");
  EXPECT_EQ(GetHttpsShellApp(), "chrome");
}

TEST_F(MachineProfile, FullFormFromThisMachine) {
  ScratchFolder folder;
  std::unique_ptr<ClsWMI> wmi;
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const std::string profile = GetMachineProfile(true, SettingsFile(Narrow((folder.path / L"config.dat").wstring())), wmi);
  EXPECT_NE(wmi, nullptr);  // created on first use and kept for the run
  wmi.reset();
  CoUninitialize();
  EXPECT_EQ(profile.find("&OSMajorVer="), 5u + 72u) << profile;  // a UUID of 36 characters
  const std::string screen =
      std::to_string(GetSystemMetrics(SM_CXSCREEN)) + "*" + std::to_string(GetSystemMetrics(SM_CYSCREEN));
  EXPECT_TRUE(profile.ends_with("&Resolution=" + HexEncodeText(screen) + "&HttpsShellApp=" +
                                HexEncodeText("unknown") + "&" + DefaultDocShellProfile()))
      << profile;
}

TEST(FileVersion, BuildIsTheLastComponentUnsignedAndNoResourceGivesNoVersion) {
  const std::pair<std::string, std::string> cases[] = {
      {ScratchFolder::BesideTests("verstamp_16_0_17328_20124.exe"), "16.0.20124"},
      {ScratchFolder::BesideTests("verstamp_7_3_1_40000.exe"), "7.3.40000"},
      {ScratchFolder::BesideTests("verstamp_none.exe"), "0.0.0"},
      {ScratchFolder::BesideTests(""), "0.0.0"},  // the folder
  };
  for (const auto& [path, version] : cases) EXPECT_EQ(GetFileVersion(path), version) << path;
  ScratchFolder folder;  // the path crosses in the ANSI code page
  const std::string copy = folder.CopyBeside("verstamp_16_0_17328_20124.exe", "\xE5\x8D\x87\\winword.exe");
  EXPECT_EQ(GetFileVersion(copy), "16.0.20124");
  // Only a normal file counts: a hidden or system executable has no version.
  for (DWORD attribute : {FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_SYSTEM}) {
    ASSERT_TRUE(SetFileAttributesW(Widen(copy).c_str(), attribute));
    EXPECT_EQ(GetFileVersion(copy), "0.0.0") << attribute;
  }
}

class DocAssociations : public test::RegistrySandbox {
 protected:
  void Associate(const std::string& extension, const std::string& progId, const std::string& command) {
    Set(HKEY_CLASSES_ROOT, extension, "", progId);
    if (!command.empty()) Set(HKEY_CLASSES_ROOT, progId + "\\shell\\Open\\command", "", command);
  }
  // AppName|Version|Folder|ExePath of the default handler; expectFound: a version was found.
  static std::string Detected(bool expectFound = true) {
    DocAppInfo info{"x", "x", "x", "x"};
    EXPECT_EQ(GetDefaultDocApp(info), expectFound);
    return info.AppName + "|" + info.Version + "|" + info.Folder + "|" + info.ExePath;
  }
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
  ScratchFolder folder;
  const std::string winword = folder.CopyBeside("verstamp_16_0_17328_20124.exe", "Office16\\WINWORD.EXE");
  Associate(".docx", "Zel.NoCommand", "");
  Associate(".xlsx", "Zel.Sheet", "  \"" + winword + "\" /n /e \"%1\"");
  Associate(".doc", "Zel.Doc", "c:\\apps\\doc.exe %1");
  EXPECT_EQ(Detected(),
            "winword|16|" + LowerText(winword.substr(0, winword.size() - 11)) + "|" + LowerText(winword));
}

TEST_F(DocAssociations, UnknownVersionIsGuessedFromTheFoldersElseDetectionFails) {
  Associate(".docx", "Zel.Doc", "\"c:\\apps\\office15\\winword.exe\" /n");  // no such file
  EXPECT_EQ(Detected(), "winword|15|c:\\apps\\office15\\|c:\\apps\\office15\\winword.exe");
  // Nothing to guess from, and neither automation server is registered here.
  Associate(".docx", "Zel.Doc", "c:\\apps\\editor.exe \"%1\"");
  EXPECT_EQ(Detected(false), "c:\\apps\\editor.exe|0.0.0|c:\\apps\\|c:\\apps\\editor.exe");
}

using OfficeAddins = test::RegistrySandbox;
const std::string kWord = "Software\\Microsoft\\Office\\Word\\Addins\\";
const std::string kExcel = "Software\\Microsoft\\Office\\Excel\\Addins\\";

TEST_F(OfficeAddins, LoadBehaviorExclusionsAndDescriptionsDecideTheEntries) {
  Set(HKEY_CURRENT_USER, kWord + "A.Connect", "LoadBehavior", 0);
  Set(HKEY_CURRENT_USER, kWord + "B.Connect", "LoadBehavior", 0);
  EXPECT_EQ(GetOfficeAddins(), "{\"Word\":[]}");

  Set(HKEY_CURRENT_USER, kExcel + "Never.Connect", "Description", "Never loaded");  // no LoadBehavior
  Set(HKEY_CURRENT_USER, kExcel + "PowerPivotExcelClientAddIn.NativeEntry.1", "LoadBehavior", 3);
  Set(HKEY_CURRENT_USER, kExcel + "PowerPivotExcelClientAddIn.NativeEntry.1", "Description",
      "MICROSOFT POWER PIVOT FOR EXCEL");
  Set(HKEY_CURRENT_USER, kExcel + "Kept.Connect", "LoadBehavior", 3);
  Set(HKEY_CURRENT_USER, kWord + "WebPage.Connect", "LoadBehavior", 1);
  Set(HKEY_CURRENT_USER, kWord + "WebPage.Connect", "Description",
      "\xE7\xBD\x91\xE9\xA1\xB5");  // 网页, in GBK
  Set(HKEY_CURRENT_USER, kWord + "OneNote.WordAddinTakeNotesService", "LoadBehavior", 3);
  EXPECT_EQ(GetOfficeAddins(), "{\"Word\":[\"\xE7\xBD\x91\xE9\xA1\xB5\"],\"Excel\":[\"Kept.Connect\"]}");
  // Only the handlers that load Word add-ins send them.
  for (const char* handler : {"winword", "moc"}) EXPECT_EQ(GetDocShellAddins(handler), GetOfficeAddins());
  EXPECT_EQ(GetDocShellAddins("wps"), "{}");
}

TEST_F(OfficeAddins, TextLoadBehaviorThatIsNoNumberAbandonsTheList) {
  Set(HKEY_CURRENT_USER, kWord + "A.Connect", "LoadBehavior", 3);
  Set(HKEY_CURRENT_USER, kExcel + "B.Connect", "LoadBehavior", "yes");
  EXPECT_EQ(GetOfficeAddins(), "{}");
}

}  // namespace
}  // namespace zel
