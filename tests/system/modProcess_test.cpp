// Process starts seen from the started program: the echo peer reports the command
// line and window style it got.
#include "system/modProcess.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "peers/CmdlineEcho.h"
#include "system/SystemSeam.h"
#include "system/TextWin.h"
#include "system/modOsInfo.h"

namespace zel {
namespace {

namespace fs = std::filesystem;

class RecordingSeam final : public SystemSeam {
 public:
  void SleepMs(std::uint32_t ms) override { sleeps.push_back(ms); }
  void PumpMessages() override {}
  CivilDate Today() override { return {2026, 4, 17}; }
  int AskUser(const std::string&, const std::string&, unsigned) override { return IDCANCEL; }
  bool IsWinXPOrOlder() override { return xp; }
  bool IsElevated() override { return elevated; }

  std::vector<std::uint32_t> sleeps;
  bool xp = false;
  bool elevated = false;
};

class ProcessStart : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    root_ = FromAnsi(temp) + "zelprocess" + std::to_string(GetCurrentProcessId());
    fs::remove_all(Path(root_));
    fs::create_directories(Path(root_ + "\\plain"));
    fs::create_directories(Path(root_ + "\\升级 工具"));
    report_ = root_ + "\\report.txt";
    SetEnvironmentVariableA(test::kEchoOutVariable, ToAnsi(report_).c_str());
    SetSeam(&seam_);
  }
  void TearDown() override {
    SetSeam(nullptr);
    SetEnvironmentVariableA(test::kEchoOutVariable, nullptr);
    std::error_code ignored;
    fs::remove_all(Path(root_), ignored);
  }

  static fs::path Path(const std::string& utf8) { return fs::path(Widen(utf8)); }

  // A copy of the echo peer at root\relative.
  std::string Peer(const std::string& relative) {
    const std::string path = root_ + "\\" + relative;
    fs::copy_file(Path(FromAnsi(test::EchoPeerPath())), Path(path));
    return path;
  }

  // The next report of the peer, its command line back in UTF-8.
  test::EchoReport Report() {
    test::EchoReport report;
    EXPECT_TRUE(test::WaitForEchoReport(ToAnsi(report_), report)) << "the peer did not report";
    report.commandLine = FromAnsi(report.commandLine);
    DeleteFileA(ToAnsi(report_).c_str());
    return report;
  }

  // Runs StartProcess and waits for the started peer to end.
  test::EchoReport Started(const std::string& program, const std::string& arguments) {
    ProcessInfo info;
    EXPECT_TRUE(StartProcess(program, arguments, info));
    EXPECT_TRUE(info.hProcess);
    EXPECT_NE(info.dwProcessId, 0u);
    EXPECT_EQ(WaitForSingleObject(info.hProcess.Get(), 10000), WAIT_OBJECT_0);
    return Report();
  }

  RecordingSeam seam_;
  std::string root_;
  std::string report_;
};

TEST_F(ProcessStart, StartProcessQuotesTheProgramOnceAndPausesHalfASecond) {
  const std::string spaced = Peer("升级 工具\\zel echo.exe");
  const std::string plain = Peer("plain\\zelecho.exe");

  test::EchoReport report = Started(spaced, "/verysilent");
  EXPECT_EQ(report.commandLine, "\"" + spaced + "\" /verysilent");
  EXPECT_EQ(report.show, "show:none");  // default start-up information

  EXPECT_EQ(Started(plain, "/verysilent").commandLine, "\"" + plain + "\" /verysilent");
  EXPECT_EQ(Started("\"" + spaced + "\"", "/a /b").commandLine, "\"" + spaced + "\" /a /b");
  EXPECT_EQ(Started(plain, "").commandLine, "\"" + plain + "\" ");

  EXPECT_EQ(seam_.sleeps, (std::vector<std::uint32_t>{500, 500, 500, 500}));
}

TEST_F(ProcessStart, StartProcessOfAMissingProgramFailsAfterThePause) {
  ProcessInfo info;
  info.dwProcessId = 77;
  EXPECT_FALSE(StartProcess(root_ + "\\plain\\missing.exe", "/verysilent", info));
  EXPECT_FALSE(info.hProcess);
  EXPECT_EQ(info.dwProcessId, 77u);
  EXPECT_EQ(seam_.sleeps, (std::vector<std::uint32_t>{500}));
}

TEST_F(ProcessStart, ShellRunQuotesOnlyWhatNeedsItAndPassesTheWindowStyle) {
  const std::string spaced = Peer("升级 工具\\zel echo.exe");
  const std::string plain = Peer("plain\\zelecho.exe");

  ASSERT_TRUE(ShellRun(plain, "", SW_HIDE));
  test::EchoReport report = Report();
  EXPECT_EQ(report.commandLine, plain);
  EXPECT_EQ(report.show, "show:0");

  ASSERT_TRUE(ShellRun(spaced, "", SW_SHOWNORMAL));
  report = Report();
  EXPECT_EQ(report.commandLine, "\"" + spaced + "\"");
  EXPECT_EQ(report.show, "show:1");

  ASSERT_TRUE(ShellRun(plain, "/upgrading ", SW_HIDE));
  EXPECT_EQ(Report().commandLine, "\"" + plain + "\" /upgrading ");

  EXPECT_TRUE(seam_.sleeps.empty());  // shell starts do not pause
}

TEST_F(ProcessStart, ManifestBesideTheProgramIsDeletedOnXpOnly) {
  const std::string plain = Peer("plain\\zelecho.exe");
  const std::string manifest = plain + ".manifest";
  const auto makeManifest = [&] { std::ofstream(Path(manifest)) << "<assembly/>"; };

  makeManifest();
  ASSERT_TRUE(ShellRun(plain, "/x", SW_HIDE));
  Report();
  EXPECT_TRUE(fs::exists(Path(manifest)));

  seam_.xp = true;
  ASSERT_TRUE(ShellRun(plain, "/x", SW_HIDE));
  Report();
  EXPECT_FALSE(fs::exists(Path(manifest)));
}

TEST_F(ProcessStart, MissingOrHiddenProgramStartsNothingAndKeepsItsManifest) {
  seam_.xp = true;
  const std::string missing = root_ + "\\plain\\missing.exe";
  std::ofstream(Path(missing + ".manifest")) << "<assembly/>";
  EXPECT_FALSE(ShellRun(missing, "", SW_HIDE));
  EXPECT_TRUE(fs::exists(Path(missing + ".manifest")));

  const std::string hidden = Peer("plain\\hidden.exe");
  SetFileAttributesA(ToAnsi(hidden).c_str(), FILE_ATTRIBUTE_HIDDEN);
  EXPECT_FALSE(ShellRun(hidden, "", SW_HIDE));
  EXPECT_FALSE(ShellRun(root_ + "\\plain", "", SW_HIDE));  // a folder is no program
  EXPECT_FALSE(fs::exists(Path(report_)));
}

TEST_F(ProcessStart, ViaExplorerOnXpStartsTheProgramItself) {
  seam_.xp = true;
  const std::string spaced = Peer("升级 工具\\zel echo.exe");
  ASSERT_TRUE(ShellRunViaExplorer(spaced, SW_SHOWNORMAL));
  const test::EchoReport report = Report();
  EXPECT_EQ(report.commandLine, "\"" + spaced + "\"");
  EXPECT_EQ(report.show, "show:1");
}

TEST_F(ProcessStart, ViaExplorerFromVistaOnLetsTheShellProgramOpenIt) {
  const std::string plain = Peer("plain\\zelecho.exe");
  ASSERT_TRUE(ShellRunViaExplorer(plain, SW_SHOWNORMAL));
  const test::EchoReport report = Report();
  EXPECT_NE(report.commandLine.find(plain), std::string::npos) << report.commandLine;
  // The shell program started it with a window style of its own choosing.
  EXPECT_NE(report.show, "show:1");
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
