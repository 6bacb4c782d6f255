// The package cache and the upgrading copy's first steps, in-process: the run is
// driven through RunWithArguments with fresh folders and a virtual platform.
#include <gtest/gtest.h>
#include <objbase.h>
#include <windows.h>

#include <filesystem>

#include "driver/PackageCache.h"
#include "driver/ProgressWindow_win.h"
#include "driver/UpdateRun.h"
#include "protocol/FileMd5.h"
#include "settings/SettingsFile.h"
#include "support/ScratchFolders_win.h"
#include "support/VirtualPlatform.h"
#include "system/Text.h"

namespace zel {
namespace {

constexpr char kPackageBytes[] = "a package of some bytes";  // 23 bytes, and no program

class PackageCacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    CreateDirectoryA(folder_.c_str(), nullptr);
    ASSERT_TRUE(test::WriteBytes(package_, kPackageBytes));
    digest_ = FileMd5(package_, kCalgMd5);
  }
  void TearDown() override { CoUninitialize(); }
  void Record(const std::string& date, const std::string& size, const std::string& hash) {
    settings_.Write("UPDATE", "CacheDate", date);
    settings_.Write("UPDATE", "PackageSize", size);
    settings_.Write("UPDATE", "PackageHash", hash);
  }
  // The package file and its record, as a checking instance leaves them on that day.
  void Cache(const std::string& date) {
    ASSERT_TRUE(test::WriteBytes(package_, kPackageBytes));
    Record(date, "23", digest_);
  }
  // "?|0|?" once emptied: empty values read as the default.
  std::string RecordText() {
    return settings_.Read("UPDATE", "CacheDate", "?") + "|" + settings_.Read("UPDATE", "PackageSize", "?") +
           "|" + settings_.Read("UPDATE", "PackageHash", "?");
  }

  test::ScratchFolders scratch_;
  test::VirtualPlatform platform_;  // today is 04-17-2026
  std::string folder_ = scratch_.appData + "\\zelGuard";
  std::string package_ = folder_ + "\\zelupdatepkg.exe";
  SettingsFile settings_{folder_ + "\\config.dat"};
  std::string digest_;
};

TEST_F(PackageCacheTest, OnlyAPackageCachedTodayAndIntactIsValid) {
  Record("04-17-2026", "23", AsciiLower(digest_));
  const CachedPackage cached = GetCachedPackage(settings_);
  EXPECT_TRUE(cached.valid);
  EXPECT_EQ(cached.packageSize, 23);
  EXPECT_EQ(cached.packagePath, package_);

  // Each broken part empties the whole cache: record reset, file gone.
  const struct {
    const char *date, *size, *hash;
    bool file = true;
  } broken[] = {{"04-16-2026", "23", "x"},  {"04-17-2026", "24", "x"}, {"04-17-2026", "23", "0123"},
                {"04-17-2026", "2x3", "x"}, {"", "23", "x"},           {"04-17-2026", "23", "x", false}};
  for (const auto& b : broken) {
    SCOPED_TRACE(std::string(b.date) + "/" + b.size + "/" + b.hash + (b.file ? "" : "/no file"));
    if (b.file)
      ASSERT_TRUE(test::WriteBytes(package_, kPackageBytes));
    else
      std::filesystem::remove(test::PathOf(package_));
    Record(b.date, b.size, std::string(b.hash) == "x" ? digest_ : b.hash);
    EXPECT_FALSE(GetCachedPackage(settings_).valid);
    EXPECT_EQ(RecordText(), "?|0|?");
    EXPECT_FALSE(test::PathExists(package_));
  }
}

// The upgrading copy empties the cache after its try at installing, also when the
// installer could not be started or the cached file was gone.
TEST_F(PackageCacheTest, InstallingEmptiesTheCacheWhateverBecameOfTheInstaller) {
  for (const bool file : {true, false}) {
    SCOPED_TRACE(file ? "a file that is no program" : "no file");
    Cache("04-17-2026");
    const CachedPackage cached = GetCachedPackage(settings_);
    ASSERT_TRUE(cached.valid);
    if (!file) std::filesystem::remove(test::PathOf(package_));
    InstallCachedPackage(settings_, cached, scratch_.root + "\\");
    EXPECT_EQ(RecordText(), "?|0|?");
    EXPECT_FALSE(test::PathExists(package_));
  }
}

// The upgrading copy refuses Windows XP with a message box, before any window, and
// leaves the cache as it is.
TEST_F(PackageCacheTest, UpgradingCopyOnXpAsksNothingMoreAndKeepsTheCache) {
  Record("04-17-2026", "23", digest_);
  platform_.xp = true;
  RunWithArguments("/UPGRADING /INSTALLPATH \"C:\\P\\\"");
  EXPECT_EQ(platform_.questions, std::vector<std::string>{"Winxp不支持的升级方式"});
  EXPECT_FALSE(frmUpdate::Instance().IsLoaded());
  EXPECT_TRUE(GetCachedPackage(settings_).valid);
}

}  // namespace
}  // namespace zel
