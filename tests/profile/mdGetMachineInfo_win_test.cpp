#include <objbase.h>

#include <map>

#include "ProfileTestSupport.h"
#include "profile/ClsWMI.h"
#include "profile/mdGetMachineInfo.h"
#include "protocol/TextCodecs.h"
#include "system/modOsInfo.h"

namespace zel {
namespace {

class HttpsShellApp : public testing::RegistrySandbox {
 protected:
  static constexpr const char* kUserChoice =
      "Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\https\\UserChoice";
  void SetUp() override {
    RegistrySandbox::SetUp();
    // The https class's own command, consulted only without a user choice.
    SetText(HKEY_CLASSES_ROOT, "https\\shell\\open\\command", "", "C:\\Tools\\Browser.EXE -url \"%1\"");
  }
};

TEST_F(HttpsShellApp, UserChoiceCommandNamesTheProgram) {
  SetText(HKEY_CURRENT_USER, kUserChoice, "ProgId", "ChromeHTML");
  SetText(HKEY_CLASSES_ROOT, "ChromeHTML\\shell\\open\\command", "",
          "\"C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe\" --single-argument %1");
  EXPECT_EQ(GetHttpsShellApp(), "chrome");
}

TEST_F(HttpsShellApp, UserChoiceWithoutCommandIsUnknown) {
  SetText(HKEY_CURRENT_USER, kUserChoice, "ProgId", "GoneHTML");
  EXPECT_EQ(GetHttpsShellApp(), "unknown");
}

TEST_F(HttpsShellApp, WithoutUsableChoiceTheHttpsClassAnswers) {
  EXPECT_EQ(GetHttpsShellApp(), "browser");
  SetText(HKEY_CURRENT_USER, kUserChoice, "ProgId", "");
  EXPECT_EQ(GetHttpsShellApp(), "browser");
  ASSERT_EQ(RegDeleteTreeA(HKEY_CLASSES_ROOT, "https"), ERROR_SUCCESS);
  EXPECT_EQ(GetHttpsShellApp(), "unknown");
}

// key -> value of a profile text; values stay hex.
std::map<std::string, std::string> Items(const std::string& profile) {
  std::map<std::string, std::string> items;
  for (std::size_t start = 0; start <= profile.size();) {
    auto end = profile.find('&', start);
    if (end == std::string::npos) end = profile.size();
    const std::string item = profile.substr(start, end - start);
    const auto equals = item.find('=');
    items[item.substr(0, equals)] = equals == std::string::npos ? "" : item.substr(equals + 1);
    start = end + 1;
  }
  return items;
}

class MachineProfile : public testing::RegistrySandbox {
 protected:
  void SetUp() override {
    RegistrySandbox::SetUp();
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  }
  void TearDown() override {
    wmi_.reset();
    CoUninitialize();
    RegistrySandbox::TearDown();
  }
  std::unique_ptr<ClsWMI> wmi_;
  testing::ScratchFolder folder_;
};

TEST_F(MachineProfile, FullFormFromThisMachine) {
  SetText(HKEY_CLASSES_ROOT, "https\\shell\\open\\command", "", "\"c:\\b\\firefox.exe\" -osint -url \"%1\"");
  const std::string profile = GetMachineProfile(true, folder_.Path("config.dat"), wmi_);
  ASSERT_NE(wmi_, nullptr);  // created on first use and kept for the run
  const auto items = Items(profile);
  EXPECT_EQ(items.size(), 11u) << profile;
  EXPECT_EQ(HexDecodeText(items.at("UUID")).size(), 36u);
  EXPECT_EQ(items.at("OSMajorVer"), HexEncodeText(std::to_string(GetOSMajorVersion())));
  EXPECT_FALSE(items.at("OSName").empty());
  EXPECT_FALSE(items.at("CPU").empty());
  EXPECT_EQ(items.at("Resolution"), HexEncodeText(std::to_string(GetSystemMetrics(SM_CXSCREEN)) + "*" +
                                                  std::to_string(GetSystemMetrics(SM_CYSCREEN))));
  EXPECT_EQ(items.at("HttpsShellApp"), HexEncodeText("firefox"));
  EXPECT_EQ(profile.substr(profile.find("&DocShellApp=") + 1), DefaultDocShellProfile());
}

}  // namespace
}  // namespace zel
