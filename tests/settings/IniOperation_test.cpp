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

TEST_F(SettingsFile, WriteCreatesFileSectionAndKeyAndLongValuesReadAs1023Bytes) {
  EXPECT_FALSE(test::PathExists(path));
  std::string url;
  for (int i = 0; url.size() < 1100; ++i) url += static_cast<char>('a' + i % 26);
  IniWrite(path, "UPDATE", "CacheDate", "04-17-2026");
  IniWrite(path, "general", "UpdateURL", url);
  IniWrite(path, "update", "cachedate", "04-18-2026");
  EXPECT_EQ(Read("UPDATE", "CacheDate"), "04-18-2026");
  EXPECT_EQ(Read("general", "UpdateURL"), url.substr(0, 1023));
  const std::string text = AsciiLower(ReadBytes(path));
  EXPECT_EQ(text.find("[update]"), text.rfind("[update]")) << text;
}

TEST_F(SettingsFile, NamesMatchInAnyCaseAndEmptyHiddenOrSystemReadAsDefault) {
  ASSERT_TRUE(test::WriteBytes(path, "[General]\r\nlastcheckupdate =  04-16-2026  \r\nUPDATEURL=\r\n"));
  EXPECT_EQ(Read("general", "LastCheckUpdate"), "04-16-2026");
  EXPECT_EQ(Read("GENERAL", "UpdateURL"), "none");
  EXPECT_EQ(Read("Office", "AppName"), "none");
  for (DWORD attribute : {FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_SYSTEM}) {
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), attribute));
    EXPECT_EQ(Read("general", "LastCheckUpdate"),
              attribute == FILE_ATTRIBUTE_READONLY ? "04-16-2026" : "none")
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
}

TEST_F(SettingsFile, CheckIsDueUnlessTheStoredLastCheckIsToday) {
  test::VirtualClockSeam clock;
  EXPECT_TRUE(IsCheckDue());  // no settings file yet
  IniWrite(path, "general", "LastCheckUpdate", "04-17-2026");
  EXPECT_FALSE(IsCheckDue());
}

}  // namespace
}  // namespace zel
