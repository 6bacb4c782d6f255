#include "settings/SettingsFile.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "support/ScratchFolders_win.h"
#include "system/Text.h"

namespace zel {
namespace {

using test::ReadBytes;

class Settings : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto opened = SettingsFile::Open();  // makes the folder, not the file
    ASSERT_TRUE(opened && opened->Path() == path);
  }
  std::string Read(const char* section, const char* key) { return settings.Read(section, key, "none"); }
  void Write(const char* section, const char* key, const std::string& value) { settings.Write(section, key, value); }

  test::ScratchFolders scratch;
  std::string path = scratch.appData + "\\zelGuard\\config.dat";
  SettingsFile settings{path};
};

// Chinese travels as GBK (every Windows test runs with the Chinese locale).
TEST_F(Settings, WriteCreatesFileSectionAndKeyAndLongValuesReadAs1023Bytes) {
  EXPECT_FALSE(test::PathExists(path));
  std::string url;
  for (int i = 0; url.size() < 1100; ++i) url += static_cast<char>('a' + i % 26);
  Write("UPDATE", "CacheDate", "04-17-2026");
  Write("general", "UpdateURL", url);
  Write("update", "cachedate", "04-18-2026");
  const std::string shengJi = "\xE5\x8D\x87\xE7\xBA\xA7";  // 升级
  Write("Office", "InstallPath", "C:\\" + shengJi + "\\WPS");
  EXPECT_EQ(
      Read("UPDATE", "CacheDate") + "|" + Read("general", "UpdateURL") + "|" + Read("Office", "InstallPath"),
      "04-18-2026|" + url.substr(0, 1023) + "|C:\\" + shengJi + "\\WPS");
  const std::string text = AsciiLower(ReadBytes(path));
  EXPECT_EQ(text.find("[update]"), text.rfind("[update]")) << text;
  EXPECT_NE(text.find("installpath=c:\\\xC9\xFD\xBC\xB6\\wps"), std::string::npos);
}

TEST_F(Settings, NamesMatchInAnyCaseAndEmptyHiddenOrSystemReadAsDefaultAndAHiddenFolderOpensNone) {
  ASSERT_TRUE(test::WriteBytes(path, "[General]\r\nlastcheckupdate =  04-16-2026  \r\nUPDATEURL=\r\n"));
  EXPECT_EQ(Read("general", "LastCheckUpdate") + Read("GENERAL", "UpdateURL") + Read("Office", "AppName"),
            "04-16-2026nonenone");
  for (DWORD attribute : {FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_SYSTEM}) {
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), attribute));
    EXPECT_EQ(Read("general", "LastCheckUpdate"),
              attribute == FILE_ATTRIBUTE_READONLY ? "04-16-2026" : "none")
        << attribute;
  }
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);

  // A hidden per-user product folder counts as missing and cannot be made: there is no
  // settings file, and the run ends silently.
  const std::string folder = scratch.appData + "\\zelGuard";
  ASSERT_TRUE(SetFileAttributesA(folder.c_str(), FILE_ATTRIBUTE_HIDDEN));
  EXPECT_FALSE(SettingsFile::Open());
  SetFileAttributesA(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
}

}  // namespace
}  // namespace zel
