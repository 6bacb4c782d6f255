// The package steps in-process, on a virtual clock: the order of the statuses, which
// the end-to-end road shows only at its end, and the wait for an installation to
// start. Only Windows XP or older lets the process go on when the installation
// starts, so that is the case this level can see; the end-to-end road shows the
// immediate termination.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "driver/PackageSteps.h"
#include "driver/ProgressWindow_win.h"
#include "driver/UpdateRun.h"
#include "protocol/TextCodecs.h"
#include "support/E2eWorld_win.h"
#include "support/LoopbackServers_win.h"
#include "support/ScratchFolders_win.h"
#include "support/ScriptedHttpClient.h"
#include "support/VirtualPlatform.h"
#include "system/Text_win.h"

namespace zel {
namespace {

// Every text the status box is given while it lives, the passing ones too.
class StatusLog {
 public:
  explicit StatusLog(HWND box) : box_(box) {
    log_ = &texts;
    original_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(box_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Recording)));
  }
  ~StatusLog() {
    SetWindowLongPtrW(box_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original_));
    log_ = nullptr;
  }
  StatusLog(const StatusLog&) = delete;
  StatusLog& operator=(const StatusLog&) = delete;

  std::vector<std::string> texts;

 private:
  static LRESULT CALLBACK Recording(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SETTEXT && log_) log_->push_back(Narrow(reinterpret_cast<const wchar_t*>(lParam)));
    return CallWindowProcW(original_, box, message, wParam, lParam);
  }
  static inline std::vector<std::string>* log_ = nullptr;
  static inline WNDPROC original_ = nullptr;
  HWND box_;
};

TEST(PackageSteps, StatusesFollowTheStepsUpToTheInstallationOrTheDigestError) {
  const std::string package = test::PackageBytes(4096, 7);
  for (const bool hashMatches : {true, false}) {
    test::ScratchFolders scratch;
    const std::string digest = test::Md5Of(package, scratch.temp + "\\expected.bin");
    ASSERT_NE(digest, "");
    SCOPED_TRACE(hashMatches ? "matching digest" : "other digest");
    test::VirtualPlatform platform;  // answers the reinstall question with No
    // The whole package in one answer: no progress to show.
    platform.newHttpClient = [&] {
      return std::make_unique<test::ScriptedClient>(test::Answer(200, package));
    };
    RunState& run = zel::Run();
    run.programFolder = scratch.root + "\\";  // no companion there: the range route
    ASSERT_TRUE(CreateDirectoryW(Widen(scratch.appData + "\\zelGuard").c_str(), nullptr));
    run.settings.emplace(scratch.appData + "\\zelGuard\\config.dat");
    run.windowShown = true;
    frmUpdate& window = frmUpdate::Instance();
    window.Show();

    const std::string offered = hashMatches ? digest : std::string(32, '0');
    const nlohmann::json updateInfo = {{"ver", "1.0.2"},
                                       {"size", package.size()},
                                       {"hash", offered},
                                       {"packageurl", HexEncodeText("http://packages.invalid/p.exe")},
                                       {"reinstall", 1}};
    const nlohmann::json answer = {
        {"code", 1}, {"message", ""}, {"data", {{"action", "33"}, {"updateinfo", updateInfo}}}};
    const std::string leftover = scratch.temp + "\\zelupdate_tmp\\zelpatcher.exe";
    std::filesystem::create_directories(test::PathOf(scratch.temp + "\\zelupdate_tmp"));
    ASSERT_TRUE(test::WriteBytes(leftover, "an earlier run's copy"));
    {
      StatusLog log(window.StatusHandle());
      RunPackageSteps(run, answer.dump(), false);
      const std::vector<std::string> expected = {"校验升级信息正确性......", "下载升级包......",
                                                 "校验升级包哈希值...",
                                                 hashMatches ? "升级中..." : DigestErrorText(digest)};
      EXPECT_EQ(log.texts, expected);
    }
    EXPECT_FALSE(test::PathExists(leftover));  // the download starts in an emptied work folder
    EXPECT_EQ(platform.questions.size(), hashMatches ? 1u : 0u);
    EXPECT_TRUE(IsWindowEnabled(window.ButtonHandle()));  // the common ending

    window.Unload();
    run.windowShown = false;
    run.settings.reset();
    run.programFolder.clear();
  }
}

TEST(InstallationWait, OnWindowsXpTheRunEndsWithItsStatusWhetherOrNotTheMarkerAppears) {
  const struct {
    bool markerAppears;
    const char* status;
  } rows[] = {{true, "升级完成"}, {false, "错误: 升级超时..."}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.status);
    test::ScratchFolders scratch;
    test::VirtualPlatform platform;
    platform.xp = true;
    if (row.markerAppears) {
      platform.at = 30000;  // the installer makes its marker half-way through the wait
      platform.then = [&] {
        ASSERT_TRUE(test::WriteBytes(scratch.programData + "\\zelGuard\\zelinstalling.run", "4242"));
      };
    }
    frmUpdate& window = frmUpdate::Instance();
    zel::Run().windowShown = true;  // the common ending keeps a shown window with its status
    window.Show();

    AwaitInstallation();
    EXPECT_EQ(Narrow(test::WindowText(window.StatusHandle())), row.status);
    EXPECT_TRUE(IsWindowEnabled(window.ButtonHandle()));  // the common ending
    EXPECT_EQ(platform.now, row.markerAppears ? 30000u : 61000u);

    window.Unload();
    zel::Run().windowShown = false;
  }
}

}  // namespace
}  // namespace zel
