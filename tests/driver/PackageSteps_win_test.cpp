// The wait for an installation to start, in-process on a virtual clock. Only Windows
// XP or older lets the process go on when the installation starts, so that is the
// case this level can see; the end-to-end road shows the immediate termination.
#include <gtest/gtest.h>

#include <string>

#include "driver/PackageSteps.h"
#include "driver/ProgressWindow_win.h"
#include "driver/UpdateRun.h"
#include "support/E2eWorld_win.h"
#include "support/ScratchFolders_win.h"
#include "support/VirtualPlatform.h"
#include "system/Text_win.h"

namespace zel {
namespace {

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
