// The real zelpatcher.exe under Wine: start-up, single instance, schedule, window.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it needs.
#include <sddl.h>

#include "driver/UpdateRun.h"
#include "settings/CheckSchedule.h"
#include "support/E2eWorld_win.h"
#include "support/WorldControl_win.h"
#include "system/Text_win.h"
#include "system/UniqueHandle_win.h"

namespace zel::test {
namespace {

class Startup : public ::testing::Test {
 protected:
  // The product installed, and checked today already.
  void SetUp() override {
    ASSERT_NE(updater_ = world_.InstallProduct(), "");
    CreateDirectoryW(Widen(world_.UserDataDir()).c_str(), nullptr);
    ASSERT_TRUE(WriteBytes(world_.ConfigPath(), "[general]\r\nLastCheckUpdate=" + TodayText() + "\r\n"));
  }
  // The upgrading copy: the program in the update work folder, without zlib1.dll.
  Child StartWorkCopy(const std::string& arguments) {
    const std::string workDir = world_.Temp() + "\\zelupdate_tmp\\";
    CreateDirectoryW(Widen(workDir).c_str(), nullptr);
    EXPECT_TRUE(CopyFileW(Widen(updater_).c_str(), Widen(workDir + "zelpatcher.exe").c_str(), FALSE));
    return world_.Start(workDir + "zelpatcher.exe", arguments);
  }

  World world_;
  std::string updater_;
};

// One instance per program file: a second start ends at once with exit code 0, and so
// does one whose claim is held by an instance with full administrator rights, which a
// standard user's start may not open. The upgrading copy is another file and runs its
// course.
TEST_F(Startup, ASecondStartOfTheFileEndsAtOnceACopyElsewhereRuns) {
  const auto endsAtOnce = [&] {
    DWORD code = 99;
    return world_.Start(updater_, "/ui /manual").WaitExit(15000, &code) && code == 0;
  };
  PSECURITY_DESCRIPTOR noAccess = nullptr;  // an empty access list: nobody may open it
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:", SDDL_REVISION_1, &noAccess, nullptr));
  SECURITY_ATTRIBUTES attributes{sizeof attributes, noAccess, FALSE};
  UniqueKernelHandle claim(CreateMutexW(&attributes, FALSE, InstanceClaimName(updater_).c_str()));
  LocalFree(noAccess);
  ASSERT_TRUE(claim);
  EXPECT_TRUE(endsAtOnce()) << "beside a claim it cannot open";
  claim.Reset();

  Child first = world_.Start(updater_, "/ui");
  ASSERT_NE(FindProgressWindow(first.Pid(), 20000), nullptr);
  EXPECT_TRUE(endsAtOnce()) << "beside a running instance";
  Child copy = StartWorkCopy("/ui");
  EXPECT_NE(FindProgressWindow(copy.Pid(), 20000), nullptr);
  EXPECT_TRUE(first.Running());
}

TEST_F(Startup, ACopyInTheUpdateWorkFolderKeepsItsWindow) {
  Child copy = StartWorkCopy("/ui");
  ASSERT_NE(FindProgressWindow(copy.Pid(), 20000), nullptr);
  CreateDirectoryW(Widen(world_.ProductDataDir()).c_str(), nullptr);
  ASSERT_TRUE(WriteBytes(world_.ProductDataDir() + "zelinstalling.run", "4242"));
  // An instance started after the marker closes at its first watch tick, a second
  // after its window came: by then the copy, watching since before the marker, would
  // have closed too.
  Child watched = world_.Start(updater_, "/ui");
  ASSERT_NE(FindProgressWindow(watched.Pid(), 20000), nullptr);
  EXPECT_TRUE(watched.WaitExit(20000));
  EXPECT_TRUE(copy.Running());
  EXPECT_NE(FindProgressWindow(copy.Pid(), 0), nullptr);
}

}  // namespace
}  // namespace zel::test
