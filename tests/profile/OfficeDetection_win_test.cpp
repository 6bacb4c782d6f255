// The Office detection from this machine's registry and files: associations and
// add-in keys in a private registry sandbox for each test, handler programs with
// real version resources, and Wine's (absent) automation servers.
#include "profile/MachineProfile.h"
#include "profile/OfficeDetection.h"
#include "support/RegistrySandbox_win.h"

namespace zel {
namespace {

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

TEST_F(DocAssociations, FirstExtensionWithACommandDecidesButDocfileAndTheVersionComesFromFileOrPath) {
  EXPECT_EQ(Detected(), "|||");
  EXPECT_EQ(GetDocShellProfile(), DefaultDocShellProfile());

  Associate(".docx", "DocFile", "\"c:\\old\\office14\\winword.exe\" /n");
  Associate(".xlsx", "Zel.Sheet", "C:\\Apps\\Sheet.exe");
  // Version "0" is known, and detection succeeds.
  EXPECT_EQ(Detected(), "c:\\apps\\sheet.exe|0|c:\\apps\\|c:\\apps\\sheet.exe");
  EXPECT_EQ(GetDocShellProfile(), DocShellProfileText("c:\\apps\\sheet.exe", "0", "{}"));

  // A version the file cannot give is guessed from the folders, else detection fails.
  Associate(".docx", "Zel.Doc", "\"c:\\apps\\office15\\winword.exe\" /n");  // no such file
  EXPECT_EQ(Detected(), "winword|15|c:\\apps\\office15\\|c:\\apps\\office15\\winword.exe");
  // Nothing to guess from, and neither automation server is registered here.
  Associate(".docx", "Zel.Doc", "c:\\apps\\editor.exe \"%1\"");
  EXPECT_EQ(Detected(false), "c:\\apps\\editor.exe|0.0.0|c:\\apps\\|c:\\apps\\editor.exe");

  test::ScratchFolders scratch;
  const std::string winword =
      test::CopyProgram("verstamp_16_0_17328_20124.exe", scratch.root + "\\Office16\\WINWORD.EXE");
  Associate(".docx", "Zel.NoCommand", "");
  Associate(".xlsx", "Zel.Sheet", "  \"" + winword + "\" /n /e \"%1\"");
  Associate(".doc", "Zel.Doc", "c:\\apps\\doc.exe %1");
  EXPECT_EQ(Detected(),
            "winword|16|" + LowerText(winword.substr(0, winword.size() - 11)) + "|" + LowerText(winword));
}

using OfficeAddins = test::RegistrySandbox;
const std::string kWord = "Software\\Microsoft\\Office\\Word\\Addins\\";
const std::string kExcel = "Software\\Microsoft\\Office\\Excel\\Addins\\";
const std::string kPowerPoint = "Software\\Microsoft\\Office\\PowerPoint\\Addins\\";

// LoadBehavior, the exclusions and the descriptions decide the entries: applications
// in their order, sub-keys in the registry's (by name), numbers also as texts (a
// fraction rounds to the nearest whole number, a half to the even one), and one
// text that is no number abandons the whole list.
TEST_F(OfficeAddins, LoadBehaviorExclusionsAndDescriptionsDecideTheEntries) {
  EXPECT_EQ(GetOfficeAddins(), "{}");
  Set(HKEY_CURRENT_USER, kWord + "A.Connect", "LoadBehavior", 0);
  EXPECT_EQ(GetOfficeAddins(), "{\"Word\":[]}");

  Set(HKEY_CURRENT_USER, kPowerPoint + "Pp.Connect", "LoadBehavior", 3);
  Set(HKEY_CURRENT_USER, kExcel + "Never.Connect", "Description", "Never loaded");  // no LoadBehavior
  Set(HKEY_CURRENT_USER, kExcel + "Kept.Connect", "LoadBehavior", 3);
  Set(HKEY_CURRENT_USER, kExcel + "Off.Connect", "LoadBehavior", 0);
  Set(HKEY_CURRENT_USER, kExcel + "Off.Connect", "Description", "Disabled");
  Set(HKEY_CURRENT_USER, kWord + "WebPage.Connect", "LoadBehavior", 1);
  Set(HKEY_CURRENT_USER, kWord + "WebPage.Connect", "Description",
      "\xE7\xBD\x91\xE9\xA1\xB5");  // 网页, in GBK
  Set(HKEY_CURRENT_USER, kWord + "OneNote.WordAddinTakeNotesService", "LoadBehavior", 3);
  Set(HKEY_CURRENT_USER, kWord + "Vendor.Connect", "LoadBehavior", 3);
  Set(HKEY_CURRENT_USER, kWord + "Vendor.Connect", "Description", "Some \"Add-in\"");
  Set(HKEY_CURRENT_USER, kWord + "Twin.Connect", "LoadBehavior", 9);
  Set(HKEY_CURRENT_USER, kWord + "Twin.Connect", "Description", "Some \"Add-in\"");
  Set(HKEY_CURRENT_USER, kWord + "Negative", "LoadBehavior", static_cast<DWORD>(-1));
  for (const auto& [name, text] : {std::pair{"TextTwo", " 2 "},
                                   {"TextZero", "0"},
                                   {"TextThree", "3.0"},
                                   {"TextHalf", "0.5"},
                                   {"TextNearOne", "0.6"}})
    Set(HKEY_CURRENT_USER, kWord + name, "LoadBehavior", text);
  EXPECT_EQ(GetOfficeAddins(),
            "{\"Word\":[\"TextNearOne\",\"TextThree\",\"TextTwo\",\"Some \"Add-in\"\",\"Some \"Add-in\"\","
            "\"\xE7\xBD\x91\xE9\xA1\xB5\"],\"Excel\":[\"Kept.Connect\"],\"PowerPoint\":[\"Pp.Connect\"]}");
  // Only the handlers that load Word add-ins send them.
  for (const char* handler : {"winword", "moc"}) EXPECT_EQ(GetDocShellAddins(handler), GetOfficeAddins());
  EXPECT_EQ(GetDocShellAddins("wps"), "{}");

  Set(HKEY_CURRENT_USER, kExcel + "B.Connect", "LoadBehavior", "yes");
  EXPECT_EQ(GetOfficeAddins(), "{}");
}

}  // namespace
}  // namespace zel
