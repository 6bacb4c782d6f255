#include "settings/IniOperation.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "settings/SettingsKeys.h"
#include "settings/modCheckUpdate.h"
#include "system/ScratchFolders.h"
#include "system/VirtualClockSeam.h"

namespace zel {
namespace {

using test::PathExists;
using test::ReadBytes;
using test::WriteBytes;

const char kShengJi[] = "\xE5\x8D\x87\xE7\xBA\xA7";  // 升级

class SettingsFile : public ::testing::Test {
 protected:
  test::ScratchFolders scratch;
  std::string path = scratch.appData + "\\zelGuard\\config.dat";
};

TEST_F(SettingsFile, LivesInTheUserDataFolderWhichIsCreated) {
  EXPECT_EQ(ConfigFilePath(), path);
  EXPECT_TRUE(test::IsFolder(scratch.appData + "\\zelGuard"));
  EXPECT_FALSE(PathExists(path));  // the file itself comes with the first write
  scratch.Point("AppData", scratch.appData + "\\");
  EXPECT_EQ(ConfigFilePath(), path);
}

TEST_F(SettingsFile, UnusableFolderGivesNoPathAndTheCheckIsDue) {
  scratch.Point("AppData", scratch.appData + "\\missing");
  test::VirtualClockSeam clock;
  EXPECT_EQ(ConfigFilePath(), "");
  EXPECT_TRUE(IsCheckDue());
}

TEST_F(SettingsFile, FileInPlaceOfTheFolderIsLeftAlone) {
  ASSERT_TRUE(WriteBytes(scratch.appData + "\\zelGuard", "x"));
  EXPECT_EQ(ConfigFilePath(), path);
  IniWrite(path, settings::kGeneral, settings::kInstalledUUID, "{1}");  // lost
  EXPECT_EQ(IniRead(path, settings::kGeneral, settings::kInstalledUUID, ""), "");
  EXPECT_EQ(ReadBytes(scratch.appData + "\\zelGuard"), "x");
}

TEST_F(SettingsFile, WriteCreatesFileSectionAndKey) {
  ASSERT_EQ(ConfigFilePath(), path);
  IniWrite(path, settings::kUpdate, settings::kCacheDate, "04-17-2026");
  ASSERT_TRUE(PathExists(path));
  IniWrite(path, settings::kUpdate, settings::kPackageSize, "1234");
  IniWrite(path, settings::kVersions, settings::kLocalAppVer, "1.2.3");
  IniWrite(path, settings::kUpdate, settings::kCacheDate, "04-18-2026");
  EXPECT_EQ(IniRead(path, settings::kUpdate, settings::kCacheDate, ""), "04-18-2026");
  EXPECT_EQ(IniRead(path, settings::kUpdate, settings::kPackageSize, "0"), "1234");
  EXPECT_EQ(IniRead(path, settings::kVersions, settings::kLocalAppVer, ""), "1.2.3");
  const std::string text = ReadBytes(path).value_or("");
  EXPECT_EQ(text.find("[UPDATE]"), text.rfind("[UPDATE]")) << text;
}

TEST_F(SettingsFile, NamesMatchInAnyCaseAndEmptyValuesReadAsDefault) {
  ASSERT_EQ(ConfigFilePath(), path);
  ASSERT_TRUE(WriteBytes(path,
                         "[General]\r\nlastcheckupdate =  04-16-2026  \r\nUPDATEURL=\r\n"
                         "[update]\r\nCacheDate=\r\n"));
  EXPECT_EQ(IniRead(path, "general", "LastCheckUpdate", "0"), "04-16-2026");
  EXPECT_EQ(IniRead(path, "general", "UpdateURL", "http://built-in/"), "http://built-in/");
  EXPECT_EQ(IniRead(path, "UPDATE", "CacheDate", "none"), "none");
  EXPECT_EQ(IniRead(path, "UPDATE", "PackageHash", "none"), "none");
  EXPECT_EQ(IniRead(path, "Office", "AppName", "none"), "none");
}

TEST_F(SettingsFile, LongValueReadsAsItsFirst1023Bytes) {
  ASSERT_EQ(ConfigFilePath(), path);
  std::string value;
  for (int i = 0; value.size() < 1100; ++i) value += static_cast<char>('a' + i % 26);
  IniWrite(path, settings::kGeneral, settings::kUpdateURL, value);
  EXPECT_EQ(IniRead(path, settings::kGeneral, settings::kUpdateURL, ""), value.substr(0, 1023));
}

TEST_F(SettingsFile, MissingHiddenOrSystemFileReadsAsDefaults) {
  ASSERT_EQ(ConfigFilePath(), path);
  EXPECT_EQ(IniRead(path, settings::kGeneral, settings::kLastCheckUpdate, "0"), "0");
  IniWrite(path, settings::kGeneral, settings::kLastCheckUpdate, "04-17-2026");
  ASSERT_EQ(IniRead(path, settings::kGeneral, settings::kLastCheckUpdate, "0"), "04-17-2026");
  for (DWORD attribute : {FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_SYSTEM}) {
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), attribute));
    EXPECT_EQ(IniRead(path, settings::kGeneral, settings::kLastCheckUpdate, "0"), "0") << attribute;
  }
  ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(IniRead(path, settings::kGeneral, settings::kLastCheckUpdate, "0"), "04-17-2026");
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(SettingsFile, ChineseTravelsAsGbk) {
  ASSERT_EQ(ConfigFilePath(), path);
  const std::string folder = std::string("C:\\") + kShengJi + "\\WPS";
  IniWrite(path, settings::kOffice, settings::kInstallPath, folder);
  EXPECT_NE(ReadBytes(path).value_or("").find("InstallPath=C:\\\xC9\xFD\xBC\xB6\\WPS"), std::string::npos);
  EXPECT_EQ(IniRead(path, settings::kOffice, settings::kInstallPath, ""), folder);
  // Names too cross in the ANSI code page.
  IniWrite(path, kShengJi, kShengJi, kShengJi);
  EXPECT_EQ(IniRead(path, kShengJi, kShengJi, ""), kShengJi);
}

TEST_F(SettingsFile, CheckIsDueUnlessLastCheckWasToday) {
  test::VirtualClockSeam clock;
  clock.today = {2026, 4, 17};
  EXPECT_TRUE(IsCheckDue());  // no settings file yet
  IniWrite(path, settings::kGeneral, settings::kLastCheckUpdate, "04-17-2026");
  EXPECT_FALSE(IsCheckDue());
  clock.today = {2026, 4, 18};
  EXPECT_TRUE(IsCheckDue());
}

}  // namespace
}  // namespace zel
