// The machine profile from this machine's registry and WMI; the registry is a
// private sandbox for each test.
#include <objbase.h>

#include "profile/MachineProfile.h"
#include "protocol/TextCodecs.h"
#include "settings/SettingsFile.h"
#include "support/RegistrySandbox_win.h"
#include "system/Wmi.h"

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

}  // namespace
}  // namespace zel
