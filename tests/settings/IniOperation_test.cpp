#include "settings/IniOperation.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "settings/modCheckUpdate.h"
#include "system/ScratchFolders.h"
#include "system/Text.h"
#include "system/VirtualClockSeam.h"

namespace zel {
namespace {

using test::ReadBytes;

class SettingsFile : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(ConfigFilePath(), path); }  // makes the folder, not the file
  std::string Read(const char* section, const char* key) { return IniRead(path, section, key, "none"); }

  test::ScratchFolders scratch;
  std::string path = scratch.appData + "\\zelGuard\\config.dat";
};

TEST_F(SettingsFile, WriteCreatesFileSectionAndKeyAndReplacesValues) {
  EXPECT_FALSE(test::PathExists(path));
  IniWrite(path, "UPDATE", "CacheDate", "04-17-2026");
  IniWrite(path, "UPDATE", "PackageSize", "1234");
  IniWrite(path, "versions", "LocalAppVer", "1.2.3");
  IniWrite(path, "update", "cachedate", "04-18-2026");
  EXPECT_EQ(Read("UPDATE", "CacheDate"), "04-18-2026");
  EXPECT_EQ(Read("UPDATE", "PackageSize"), "1234");
  EXPECT_EQ(Read("versions", "LocalAppVer"), "1.2.3");
  const std::string text = AsciiLower(ReadBytes(path));
  EXPECT_EQ(text.find("[update]"), text.rfind("[update]")) << text;
}

TEST_F(SettingsFile, NamesMatchInAnyCaseAndEmptyValuesReadAsDefault) {
  ASSERT_TRUE(test::WriteBytes(path, "[General]\r\nlastcheckupdate =  04-16-2026  \r\nUPDATEURL=\r\n"));
  EXPECT_EQ(Read("general", "LastCheckUpdate"), "04-16-2026");
  EXPECT_EQ(Read("GENERAL", "UpdateURL"), "none");
  EXPECT_EQ(Read("Office", "AppName"), "none");
}

TEST_F(SettingsFile, LongValueReadsAsItsFirst1023Bytes) {
  std::string value;
  for (int i = 0; value.size() < 1100; ++i) value += static_cast<char>('a' + i % 26);
  IniWrite(path, "general", "UpdateURL", value);
  EXPECT_EQ(Read("general", "UpdateURL"), value.substr(0, 1023));
}

TEST_F(SettingsFile, HiddenOrSystemFileReadsAsDefaults) {
  IniWrite(path, "general", "LastCheckUpdate", "04-17-2026");
  for (DWORD attribute : {FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_SYSTEM, FILE_ATTRIBUTE_READONLY}) {
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), attribute));
    EXPECT_EQ(Read("general", "LastCheckUpdate"),
              attribute == FILE_ATTRIBUTE_READONLY ? "04-17-2026" : "none")
        << attribute;
  }
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(SettingsFile, ChineseTravelsAsGbk) {
  ASSERT_EQ(GetACP(), 936u);                               // every Windows test runs with the Chinese locale
  const std::string shengJi = "\xE5\x8D\x87\xE7\xBA\xA7";  // 升级
  IniWrite(path, "Office", "InstallPath", "C:\\" + shengJi + "\\WPS");
  EXPECT_NE(ReadBytes(path).find("InstallPath=C:\\\xC9\xFD\xBC\xB6\\WPS"), std::string::npos);
  EXPECT_EQ(Read("Office", "InstallPath"), "C:\\" + shengJi + "\\WPS");
  IniWrite(path, shengJi, shengJi, shengJi);  // names too cross in the ANSI code page
  EXPECT_EQ(IniRead(path, shengJi, shengJi, ""), shengJi);
}

TEST_F(SettingsFile, CheckIsDueUnlessTheLastCheckWasTodayOrTheFileIsUnusable) {
  test::VirtualClockSeam clock;
  EXPECT_TRUE(IsCheckDue());  // no settings file yet
  IniWrite(path, "general", "LastCheckUpdate", "04-17-2026");
  EXPECT_FALSE(IsCheckDue());
  clock.today = {2026, 4, 18};
  EXPECT_TRUE(IsCheckDue());
  clock.today = {2026, 4, 17};
  scratch.Point("AppData", scratch.appData + "\\missing");
  EXPECT_EQ(ConfigFilePath(), "");
  EXPECT_TRUE(IsCheckDue());
}

}  // namespace
}  // namespace zel
