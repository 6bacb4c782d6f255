#include <objbase.h>

#include "ProfileTestSupport.h"
#include "profile/ClsWMI.h"
#include "profile/mdGetMachineInfo.h"
#include "protocol/TextCodecs.h"
#include "system/modOsInfo.h"

namespace zel {
namespace {

using MachineProfile = testing::RegistrySandbox;

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
  Set(HKEY_CLASSES_ROOT, "https\\shell\\open\\command", "", "\"c:\\b\\firefox.exe\" -osint -url \"%1\"");
  testing::ScratchFolder folder;
  std::unique_ptr<ClsWMI> wmi;
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const std::string profile = GetMachineProfile(true, folder.Path("config.dat"), wmi);
  EXPECT_NE(wmi, nullptr);  // created on first use and kept for the run
  wmi.reset();
  CoUninitialize();

  EXPECT_EQ(profile.find("&OSMajorVer="), 5u + 72u) << profile;  // a UUID of 36 characters
  const std::string screen =
      std::to_string(GetSystemMetrics(SM_CXSCREEN)) + "*" + std::to_string(GetSystemMetrics(SM_CYSCREEN));
  EXPECT_TRUE(profile.ends_with("&Resolution=" + HexEncodeText(screen) + "&HttpsShellApp=" +
                                HexEncodeText("firefox") + "&" + DefaultDocShellProfile()))
      << profile;
}

}  // namespace
}  // namespace zel
