// The package steps in-process, on a virtual clock: the order of the statuses, which
// the end-to-end road shows only at its end, the ending each step chooses, and the
// wait for an installation to start.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "driver/PackageSteps.h"
#include "driver/ProgressWindow_win.h"
#include "driver/UpdateRun.h"
#include "protocol/TextCodecs.h"
#include "support/CmdlineEcho.h"
#include "support/E2eWorld_win.h"
#include "support/LoopbackServers_win.h"
#include "support/ScratchFolders_win.h"
#include "support/ScriptedHttpClient.h"
#include "support/VirtualPlatform.h"
#include "system/Text_win.h"

namespace zel {
namespace {

// Every text the status box is given, the passing ones too.
std::vector<std::string> statuses;
WNDPROC statusBox = nullptr;
LRESULT CALLBACK RecordStatus(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_SETTEXT) statuses.push_back(Narrow(reinterpret_cast<const wchar_t*>(lParam)));
  return CallWindowProcW(statusBox, box, message, wParam, lParam);
}

// The package steps of one offer, from a shown window with fresh folders; the range
// route gets its answers from a scripted request object, and the shell program
// (WINDIR\explorer.exe) is the echo peer, which reports how it was started.
class PackageStepsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    run_.programFolder = scratch_.root + "\\";  // no companion there: the range route
    ASSERT_TRUE(CreateDirectoryW(Widen(scratch_.appData + "\\zelGuard").c_str(), nullptr));
    run_.settings.emplace(scratch_.appData + "\\zelGuard\\config.dat");
    run_.windowShown = true;
    frmUpdate::Instance().Show();
    statusBox = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
        frmUpdate::Instance().StatusHandle(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&RecordStatus)));
    test::CopyProgram(test::kEchoImageName, scratch_.root + "\\explorer.exe");
    scratch_.Point("WINDIR", scratch_.root);
    scratch_.Point(test::kEchoOutVariable, scratch_.root + "\\shell.txt");
  }
  void TearDown() override {
    frmUpdate::Instance().Unload();
    run_.windowShown = false;
    run_.settings.reset();
    run_.programFolder.clear();
  }
  // Runs the steps on an offer of the package at url (with the digest given, or the
  // package's own); every status shown.
  std::vector<std::string> Offer(const std::string& url, const std::string& hash = "") {
    const PackageInfo offer{"1.0.2",
                            static_cast<std::int32_t>(package_.size()),
                            hash.empty() ? digest_ : hash,
                            HexEncodeText(url),
                            1,
                            std::nullopt};
    statuses.clear();
    EXPECT_EQ(RunPackageSteps(run_, offer, false), RunEnding::kCommon);
    return statuses.empty() ? std::vector<std::string>{"<no status>"} : statuses;  // a failure, not a crash
  }
  // The shell program's command line and window style ("show:N").
  std::string Shell() const { return test::WaitForEchoReport(scratch_.root + "\\shell.txt"); }

  test::ScratchFolders scratch_;
  test::VirtualPlatform platform_;
  RunState& run_ = zel::Run();
  const std::string package_ = test::PackageBytes(4096, 7);
  const std::string digest_ = test::Md5Of(package_, scratch_.root + "\\expected.bin");
};

TEST_F(PackageStepsTest, StatusesFollowTheStepsUpToTheInstallationOrTheDigestError) {
  // The whole package in one answer: no progress to show.
  platform_.newHttpClient = [&] {
    return std::make_unique<test::ScriptedClient>(test::Answer(200, package_));
  };
  for (const bool hashMatches : {true, false}) {
    SCOPED_TRACE(hashMatches ? "matching digest" : "other digest");
    platform_.questions.clear();  // the reinstall question is answered No
    const std::string leftover = scratch_.temp + "\\zelupdate_tmp\\zelpatcher.exe";
    std::filesystem::create_directories(test::PathOf(scratch_.temp + "\\zelupdate_tmp"));
    ASSERT_TRUE(test::WriteBytes(leftover, "an earlier run's copy"));
    const std::vector<std::string> expected = {
        "校验升级信息正确性......", "下载升级包......", "校验升级包哈希值...",
        hashMatches
            ? "升级中..."
            : "升级包校验值错误:" + digest_ + "\r\n如需帮助，请联系Zel卫士技术支持: support@zelvora.cn"};
    EXPECT_EQ(Offer("http://packages.invalid/p.exe", hashMatches ? "" : std::string(32, '0')), expected);
    EXPECT_FALSE(test::PathExists(leftover));  // the download starts in an emptied work folder
    EXPECT_EQ(platform_.questions.size(), hashMatches ? 1u : 0u);
  }
}

// Yes to a question starts the shell program: with the package, in a normal window,
// for a fresh installation (here after the system's download, the last route, took
// over from the failed range route); with the address, minimised, for a download by
// hand after every route failed.
TEST_F(PackageStepsTest, YesStartsTheShellProgramWithThePackageOrTheAddress) {
  platform_.newHttpClient = [] { return std::make_unique<test::ScriptedClient>(test::Answer(404, "")); };
  platform_.answer = IDYES;
  const std::string served = scratch_.root + "\\served.exe";
  ASSERT_TRUE(test::WriteBytes(served, package_));
  EXPECT_EQ(Offer("file:///" + served).back(), "升级中...");
  EXPECT_EQ(Shell(),
            scratch_.root + "\\explorer.exe " + scratch_.temp + "\\zelupdate_tmp\\zelupdatepkg.exe show:1");

  DeleteFileW(Widen(scratch_.root + "\\shell.txt").c_str());
  EXPECT_EQ(Offer("http://127.0.0.1:1/p.exe").back(), "下载升级包失败,升级地址:http://127.0.0.1:1/p.exe");
  EXPECT_EQ(Shell(), scratch_.root + "\\explorer.exe http://127.0.0.1:1/p.exe show:2");
  EXPECT_EQ(platform_.questions,
            (std::vector<std::string>{"新版本安装需要全新安装，是否启用管理员权限进行安装？",
                                      "自动更新失败需要手工下载更新包吗?"}));
}

// The installing marker ends the run at once, so the installer can replace the
// program's files; Windows XP shows "升级完成" instead, and a marker that never
// appears shows the time-out.
TEST_F(PackageStepsTest, TheInstallingMarkerEndsTheRunAtOnceExceptOnXp) {
  const std::tuple<bool, bool, const char*, RunEnding> rows[] = {
      {false, true, "", RunEnding::kImmediate},
      {true, true, "升级完成", RunEnding::kCommon},
      {false, false, "错误: 升级超时...", RunEnding::kCommon}};
  const std::string marker = scratch_.programData + "\\zelGuard\\zelinstalling.run";
  for (const auto& [xp, markerAppears, status, ending] : rows) {
    DeleteFileW(Widen(marker).c_str());
    platform_.xp = xp;
    // The installer makes its marker half-way through the wait.
    const std::uint64_t start = platform_.now;
    if (markerAppears) platform_.At(start + 30000, [&] { ASSERT_TRUE(test::WriteBytes(marker, "4242")); });
    const RunEnding ended = AwaitInstallation();
    EXPECT_EQ(std::tuple(ended, Narrow(test::WindowText(frmUpdate::Instance().StatusHandle())),
                         platform_.now - start),
              std::tuple(ending, status, markerAppears ? 30000u : 61000u));
  }
}

}  // namespace
}  // namespace zel
