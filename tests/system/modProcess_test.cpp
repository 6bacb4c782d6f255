// Process starts seen from the started program: the echo peer reports the command
// line and window style it got.
#include "system/modProcess.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "peers/CmdlineEcho.h"
#include "system/ScratchFolders.h"
#include "system/VirtualClockSeam.h"
#include "system/modOsInfo.h"

namespace zel {
namespace {

namespace fs = std::filesystem;

class ProcessStart : public ::testing::Test {
 protected:
  void SetUp() override { scratch.Point(test::kEchoOutVariable, ToAnsi(report_)); }

  static fs::path Path(const std::string& utf8) { return fs::path(Widen(utf8)); }

  // A copy of the echo peer at root\relative.
  std::string Peer(const std::string& relative) {
    const std::string path = scratch.root + "\\" + relative;
    fs::create_directories(Path(path).parent_path());
    fs::copy_file(Path(FromAnsi(test::EchoPeerPath())), Path(path));
    return path;
  }

  // The next report of the peer, its command line back in UTF-8.
  test::EchoReport Report() {
    test::EchoReport report;
    EXPECT_TRUE(test::WaitForEchoReport(ToAnsi(report_), report)) << "the peer did not report";
    report.commandLine = FromAnsi(report.commandLine);
    DeleteFileW(Widen(report_).c_str());
    return report;
  }

  test::ScratchFolders scratch;
  test::VirtualClockSeam seam_;
  std::string report_ = scratch.root + "\\report.txt";
  std::string spaced_ = Peer("\xE5\x8D\x87\xE7\xBA\xA7 tools\\zel echo.exe");  // 升级 tools
  std::string plain_ = Peer("plain\\zelecho.exe");
};

TEST_F(ProcessStart, StartProcessQuotesTheProgramOnceAndPausesHalfASecond) {
  for (const auto& [program, arguments, seen] :
       {std::tuple{spaced_, "/verysilent", "\"" + spaced_ + "\" /verysilent"},
        {plain_, "/verysilent", "\"" + plain_ + "\" /verysilent"},
        {"\"" + spaced_ + "\"", "/a /b", "\"" + spaced_ + "\" /a /b"}}) {
    ProcessInfo info;
    ASSERT_TRUE(StartProcess(program, arguments, info)) << program;
    ASSERT_EQ(WaitForSingleObject(info.hProcess.Get(), 10000), WAIT_OBJECT_0);
    const test::EchoReport report = Report();
    EXPECT_EQ(report.commandLine, seen);
    EXPECT_EQ(report.show, "show:none");  // default start-up information
  }
  EXPECT_EQ(seam_.now, 1500u);
  EXPECT_EQ(seam_.sleeps, 3);
}

TEST_F(ProcessStart, ShellRunQuotesOnlyWhatNeedsItAndPassesTheWindowStyle) {
  for (const auto& [program, style, seen] : {std::tuple{plain_, SW_HIDE, plain_ + " show:0"},
                                             {spaced_, SW_SHOWNORMAL, "\"" + spaced_ + "\" show:1"}}) {
    ASSERT_TRUE(ShellRun(program, "", style)) << program;
    const test::EchoReport report = Report();
    EXPECT_EQ(report.commandLine + " " + report.show, seen);
  }
  EXPECT_EQ(seam_.sleeps, 0);  // shell starts do not pause
}

TEST_F(ProcessStart, ManifestBesideTheProgramIsDeletedOnXpOnly) {
  const std::string manifest = plain_ + ".manifest";
  for (bool xp : {false, true}) {
    seam_.xp = xp;
    ASSERT_TRUE(test::WriteBytes(manifest, "<assembly/>"));
    ASSERT_TRUE(ShellRun(plain_, "/x", SW_HIDE));
    Report();
    EXPECT_EQ(test::PathExists(manifest), !xp) << xp;
  }
}

TEST_F(ProcessStart, MissingOrHiddenProgramStartsNothing) {
  seam_.xp = true;
  const std::string missing = scratch.root + "\\plain\\missing.exe";
  ASSERT_TRUE(test::WriteBytes(missing + ".manifest", "<assembly/>"));
  EXPECT_FALSE(ShellRun(missing, "", SW_HIDE));
  EXPECT_TRUE(test::PathExists(missing + ".manifest"));
  ProcessInfo info;
  EXPECT_FALSE(StartProcess(missing, "/verysilent", info));
  EXPECT_FALSE(info.hProcess);
  SetFileAttributesW(Widen(plain_).c_str(), FILE_ATTRIBUTE_HIDDEN);
  EXPECT_FALSE(ShellRun(plain_, "", SW_HIDE));
  EXPECT_FALSE(ShellRun(scratch.root + "\\plain", "", SW_HIDE));  // a folder is no program
  EXPECT_FALSE(test::PathExists(report_));
}

TEST_F(ProcessStart, ViaExplorerFromVistaOnLetsTheShellProgramOpenIt) {
  ASSERT_TRUE(ShellRunViaExplorer(plain_, SW_SHOWNORMAL));
  const test::EchoReport report = Report();
  EXPECT_NE(report.commandLine.find(plain_), std::string::npos) << report.commandLine;
  EXPECT_NE(report.show, "show:1");  // the shell program chose the window style
}

// Without a test seam the facts are the system's: Wine reports Windows 7 and gives
// every process a full administrator token.
TEST(SystemFacts, DefaultSeamAsksTheSystem) {
  EXPECT_GE(GetOSMajorVersion(), 6);
  EXPECT_FALSE(IsWinXP());
  EXPECT_TRUE(IsProcessElevated());
}

}  // namespace
}  // namespace zel
