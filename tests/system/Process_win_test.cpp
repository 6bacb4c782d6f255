// Process starts seen from the started program: the echo peer reports the command
// line and window style it got.
#include "system/Process_win.h"

#include <gtest/gtest.h>

#include "support/CmdlineEcho.h"
#include "support/ScratchFolders_win.h"
#include "support/VirtualPlatform.h"
#include "system/OsInfo.h"

namespace zel {
namespace {

class ProcessStart : public ::testing::Test {
 protected:
  void SetUp() override { scratch.Point(test::kEchoOutVariable, ToAnsi(report_)); }

  // A copy of the echo peer at root\relative.
  std::string Peer(const std::string& relative) {
    return test::CopyProgram(test::kEchoImageName, scratch.root + "\\" + relative);
  }

  // The next report of the peer: the command line it got (back in UTF-8) and its window style.
  std::string Report() {
    const std::string seen = FromAnsi(test::WaitForEchoReport(ToAnsi(report_)));
    DeleteFileW(Widen(report_).c_str());
    return seen;
  }

  test::ScratchFolders scratch;
  test::VirtualPlatform seam_;
  std::string report_ = scratch.root + "\\report.txt";
  std::string spaced_ = Peer("\xE5\x8D\x87\xE7\xBA\xA7 tools\\zel echo.exe");  // 升级 tools
  std::string plain_ = Peer("plain\\zelecho.exe");
};

TEST_F(ProcessStart, StartProcessQuotesTheProgramOnceAndPausesHalfASecond) {
  for (const auto& [program, arguments, seen] :
       {std::tuple{spaced_, "/verysilent", "\"" + spaced_ + "\" /verysilent show:none"},
        {"\"" + spaced_ + "\"", "/a /b", "\"" + spaced_ + "\" /a /b show:none"},
        {plain_, "", "\"" + plain_ + "\"  show:none"}}) {  // the separating blank stays
    ProcessInfo info;
    ASSERT_TRUE(StartProcess(program, arguments, info)) << program;
    ASSERT_EQ(WaitForSingleObject(info.process.Get(), 10000), WAIT_OBJECT_0);
    EXPECT_EQ(Report(), seen);
  }
  EXPECT_EQ(seam_.now, 1500u);
}

// Shell starts pass the window style on and do not pause. From Vista on the shell
// program opens the program (here the peer, copied as the explorer.exe of a Windows
// folder of the test's own); XP starts it directly, after deleting the manifest
// beside it.
TEST_F(ProcessStart, ShellRunPassesTheWindowStyleOnXpDeletesTheManifestAndStartsNoMissingOrHiddenProgram) {
  const std::string explorer = Peer("windows\\explorer.exe");
  scratch.Point("WINDIR", scratch.root + "\\windows");
  for (bool xp : {false, true}) {
    SCOPED_TRACE(xp ? "XP" : "newer");
    seam_.xp = xp;
    ASSERT_TRUE(test::WriteBytes(plain_ + ".manifest", "<assembly/>"));
    ASSERT_TRUE(ShellRun(plain_, "", SW_HIDE));
    EXPECT_EQ(Report(), plain_ + " show:0");
    EXPECT_EQ(test::PathExists(plain_ + ".manifest"), !xp);
    ASSERT_TRUE(ShellRunViaExplorer(spaced_, SW_SHOWNORMAL));
    EXPECT_EQ(Report(), (xp ? "" : explorer + " ") + "\"" + spaced_ + "\" show:1");
  }
  EXPECT_EQ(seam_.now, 0u);

  // A missing or hidden program starts nothing; a failed process start pauses all the same.
  const std::string missing = scratch.root + "\\plain\\missing.exe";
  ASSERT_TRUE(test::WriteBytes(missing + ".manifest", "<assembly/>"));
  ProcessInfo info;
  EXPECT_FALSE(StartProcess(missing, "/verysilent", info) || info.process || seam_.now != 500u);
  EXPECT_TRUE(!ShellRun(missing, "", SW_HIDE) && test::PathExists(missing + ".manifest"));
  SetFileAttributesW(Widen(plain_).c_str(), FILE_ATTRIBUTE_HIDDEN);
  EXPECT_FALSE(ShellRun(plain_, "", SW_HIDE) || test::PathExists(report_));
}

// On the real platform the facts are the system's: Wine reports Windows 7 and gives
// every process a full administrator token.
TEST(SystemFacts, TheRealPlatformAsksTheSystem) {
  EXPECT_TRUE(GetOSMajorVersion() >= 6 && !IsWinXP() && IsProcessElevated());
  // Windows XP's way to a process's image path (on its volume's device) ends where
  // the newer systems' direct one does.
  const std::wstring image = ProcessImagePath(GetCurrentProcess());
  EXPECT_NE(image.find(L"win_tests.exe"), std::wstring::npos);
  EXPECT_EQ(ProcessImagePathFromDevice(GetCurrentProcess()), image);
}

}  // namespace
}  // namespace zel
