// The package cache and the role it gives a process at start, in-process: the run is
// driven through RunWithArguments with fresh folders, a virtual platform and a WMI
// service of the test's own.
#include <gtest/gtest.h>
#include <objbase.h>
#include <windows.h>

#include <filesystem>

#include "driver/PackageCache.h"
#include "driver/ProgressWindow_win.h"
#include "driver/UpdateRun.h"
#include "protocol/FileMd5.h"
#include "settings/CheckSchedule.h"
#include "settings/SettingsFile.h"
#include "support/CmdlineEcho.h"
#include "support/E2eWorld_win.h"
#include "support/FakeWmi.h"
#include "support/ScratchFolders_win.h"
#include "support/VirtualPlatform.h"
#include "system/Platform_win.h"
#include "system/Text.h"

namespace zel {
namespace {

using Texts = std::vector<std::string>;
constexpr char kPackageBytes[] = "a package of some bytes";  // 23 bytes, and no program

class PackageCacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    CreateDirectoryA(folder_.c_str(), nullptr);
    ASSERT_TRUE(test::WriteBytes(package_, kPackageBytes));
    digest_ = FileMd5(package_, kCalgMd5);
    zel::Run().wmi = std::make_unique<test::FakeWmi>();  // the run binds none; none outlives the test
  }
  void TearDown() override {
    frmUpdate::Instance().Unload();
    zel::Run().wmi.reset();
    CoUninitialize();
  }
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
  EXPECT_EQ(std::tuple(cached.valid, cached.packageSize, cached.packagePath), std::tuple(true, 23, package_));
  Record("04-17-2026", "23.0", digest_);  // as a 32-bit conversion reads it
  EXPECT_TRUE(GetCachedPackage(settings_).valid);

  // Each broken part empties the whole cache: record reset, file gone.
  // Date, size, digest ("x": the right one) and whether the file is there.
  const std::tuple<std::string, const char*, std::string, bool> broken[] = {
      {"04-16-2026", "23", "x", true},  {"04-17-2026", "24", "x", true}, {"04-17-2026", "23", "0123", true},
      {"04-17-2026", "2x3", "x", true}, {"", "23", "x", true},           {"04-17-2026", "23", "x", false}};
  for (const auto& [date, size, hash, file] : broken) {
    SCOPED_TRACE(date + "/" + size + "/" + hash + (file ? "" : "/no file"));
    ASSERT_TRUE(!file || test::WriteBytes(package_, kPackageBytes));  // else the row before removed it
    Record(date, size, hash == "x" ? digest_ : hash);
    EXPECT_FALSE(GetCachedPackage(settings_).valid);
    EXPECT_EQ(RecordText() + (test::PathExists(package_) ? " file" : ""), "?|0|?");
  }
}

// The upgrading copy waits up to 60 one-second polls for the product's other
// processes: one that ends after ten polls still lets it install; one that stays
// keeps the cache. An installer that does not end is waited for three minutes. After
// its try at installing it empties the cache, also when the cached file was gone.
TEST_F(PackageCacheTest, UpgradingCopyWaitsSixtyPollsForTheOtherProcesses) {
  const std::string other = scratch_.programData + "\\zelGuard\\zelcore.run";
  std::filesystem::create_directories(test::PathOf(scratch_.programData + "\\zelGuard"));
  scratch_.Point(test::kEchoStayVariable, "30000");
  // What the other process does, the cached file gone, an installer, the cache emptied,
  // and the time waited: the polls, the start's pause and the wait for the installer.
  const std::tuple<const char*, bool, bool, bool, bool, std::uint64_t> rows[] = {
      {"leaves after ten polls", true, false, false, true, 10 * 1000 + 500},
      {"stays", false, false, false, false, 60 * 1000},
      {"file gone", false, true, false, true, 0},
      {"installer that does not end", true, false, true, true, 10 * 1000 + 500 + 180000}};
  for (const auto& [what, leaves, fileGone, installer, emptied, waited] : rows) {
    SCOPED_TRACE(what);
    Cache("04-17-2026");
    const CachedPackage cached = GetCachedPackage(settings_);
    ASSERT_TRUE(cached.valid);
    if (fileGone) std::filesystem::remove(test::PathOf(package_));
    ASSERT_TRUE(!installer ||
                CopyFileW(Widen(test::EchoPeerPath()).c_str(), Widen(cached.packagePath).c_str(), FALSE));
    ASSERT_TRUE(test::WriteBytes(other, "1"));
    const std::uint64_t start = platform_.now;
    if (leaves) platform_.At(start + 10 * 1000, [&] { std::filesystem::remove(test::PathOf(other)); });
    InstallCachedPackage(settings_, cached, scratch_.root + "\\");
    EXPECT_EQ(std::pair(RecordText() == "?|0|?", platform_.now - start), std::pair(emptied, waited));
    if (installer) test::KillImage(cached.packagePath);
  }
}

// A copy whose start was cut off stays suspended and keeps its file: the next hand-over
// ends it and starts a new copy, but ends nothing while a copy holds the installing marker.
TEST_F(PackageCacheTest, HandOverEndsACopyLeftSuspendedUnlessACopyIsAtWork) {
  const std::string program = scratch_.root + "\\program\\";
  const std::string copy = scratch_.temp + "\\zelupdate_tmp\\zelpatcher.exe";
  const std::string marker = scratch_.programData + "\\zelGuard\\zelinstalling.run";
  // The program, the copy left behind and the marker of a copy at work (any file will do).
  for (const std::string& file : {program + "zelpatcher.exe", copy, marker})
    test::CopyProgram(test::kEchoImageName, file);
  for (const bool atWork : {true, false}) {
    SCOPED_TRACE(atWork ? "a copy at work" : "none at work");
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION left{};
    ASSERT_TRUE(CreateProcessW(Widen(copy).c_str(), nullptr, nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                               nullptr, nullptr, &startup, &left));
    const UniqueKernelHandle process(left.hProcess), thread(left.hThread);
    EXPECT_EQ(LaunchUpgradingCopy(program), !atWork);
    EXPECT_EQ(WaitForSingleObject(process.Get(), 0), atWork ? WAIT_TIMEOUT : WAIT_OBJECT_0);
    test::KillImage(copy);  // the one left, or the new copy
    std::filesystem::remove(test::PathOf(marker));
  }
}

// A relaunching instance hands the cache to the real upgrading copy and ends without
// its window once "zelinstalling" appears; when the copy cannot make that marker (a
// folder stands in its place), it checks as usual after the 60 polls.
TEST_F(PackageCacheTest, RelaunchEndsOnlyWhenTheCopyTakesOver) {
  platform_.today = Win32Platform().Today();  // the copy's today too
  settings_.Write("general", "LastCheckUpdate", TodayText());  // not due
  const std::string marker = scratch_.programData + "\\zelGuard\\zelinstalling.run";
  for (const bool takesOver : {false, true}) {
    SCOPED_TRACE(takesOver ? "the copy takes over" : "the copy cannot");
    Cache(TodayText());
    // The copy's marker comes in real time: wait for it at the first poll.
    if (takesOver)
      platform_.At(platform_.now + 1000,
                   [&] { test::WaitFor([&] { return test::PathExists(marker); }, 30000); });
    else
      std::filesystem::create_directories(test::PathOf(marker));
    RunWithArguments("/ui");  // a window shown stays after the ending
    EXPECT_EQ(frmUpdate::Instance().IsLoaded(), !takesOver);
    frmUpdate::Instance().Unload();
    test::KillImage(scratch_.temp + "\\zelupdate_tmp\\zelpatcher.exe");
    std::filesystem::remove_all(test::PathOf(marker));
  }
}

// An upgrading copy that cannot install ends without a window and leaves the cache:
// on Windows XP after a message box, without a quoted existing folder silently.
// Without a copy that takes over, a process checks as usual and loads its window: with
// both switches but a package from yesterday (the cache is emptied at start), and as a
// relaunching instance whose copy cannot be made (a folder stands where it would go),
// also with one switch alone.
TEST_F(PackageCacheTest, OnlyAnUpgradingCopyWithAQuotedFolderAndTodaysPackageInstalls) {
  settings_.Write("general", "LastCheckUpdate", "04-17-2026");  // not due: the check ends at once
  ASSERT_TRUE(
      std::filesystem::create_directories(test::PathOf(scratch_.temp + "\\zelupdate_tmp\\zelpatcher.exe")));
  const std::string folder = "\"" + scratch_.root + "\\\"";
  const std::tuple<bool, std::string, std::string, std::string, bool> rows[] = {
      {true, "04-17-2026", "/UPGRADING /INSTALLPATH " + folder, "Winxp不支持的升级方式", false},
      {false, "04-17-2026", "/upgrading /installpath \"" + scratch_.root + "\\missing\\\"", "", false},
      {false, "04-16-2026", "/upgrading /installpath " + folder + " /ui", "", true},
      {false, "04-17-2026", "/ui", "", true},
      {false, "04-17-2026", "/installpath " + folder + " /ui", "", true},
      {false, "04-17-2026", "/upgrading /ui", "", true},
  };
  for (const auto& [xp, date, arguments, question, checks] : rows) {
    SCOPED_TRACE(arguments);
    Cache(date);
    platform_.xp = xp;
    platform_.questions = platform_.captions = {};
    RunWithArguments(arguments);
    EXPECT_EQ(
        std::pair(platform_.questions, platform_.captions),
        std::pair(question.empty() ? Texts{} : Texts{question}, xp ? Texts{"Zelvora-升级App"} : Texts{}));
    // The window's marker with the window (a marker stays as long as the process that
    // made it: there when this test's run made it at any time); the rows that check come last.
    const std::string markers = scratch_.programData + "\\zelGuard\\";
    EXPECT_EQ(std::tuple(test::PathExists(markers + "zelinstalling.run"), frmUpdate::Instance().IsLoaded(),
                         test::PathExists(markers + "zelpatcher.run"), RecordText() == "?|0|?"),
              std::tuple(false, checks, checks, date != "04-17-2026"));
    frmUpdate::Instance().Unload();
  }
}

}  // namespace
}  // namespace zel
