// The progress window, in-process under Wine with a real display.
#include "driver/ProgressWindow_win.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "support/E2eWorld_win.h"
#include "system/Text_win.h"

namespace zel {
namespace {

using test::PathExists, test::WindowText;

// Pumps until the window is gone, `most` watch ticks (timer messages of the window)
// were dispatched, or the time is up; returns the ticks dispatched. Counting ticks
// instead of milliseconds keeps the test exact on a loaded machine.
int PumpTicks(DWORD limitMs, int most = 1000) {
  int ticks = 0;
  const DWORD start = GetTickCount();
  while (frmUpdate::Instance().IsLoaded() && ticks < most && GetTickCount() - start < limitMs) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_TIMER && msg.hwnd == frmUpdate::Instance().Handle()) ++ticks;
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    Sleep(10);
  }
  return ticks;
}

class ProgressWindow : public ::testing::Test {
 protected:
  void TearDown() override { frmUpdate::Instance().Unload(); }

  std::string Marker(const char* name) const { return scratch_.programData + "\\zelGuard\\" + name + ".run"; }
  std::string Status() const { return Narrow(WindowText(window_.StatusHandle())); }
  // Left, top, width and height in the window's client area.
  std::array<LONG, 4> Placed(HWND control) const {
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, window_.Handle(), reinterpret_cast<POINT*>(&r), 2);
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
  }

  test::ScratchFolders scratch_;
  frmUpdate& window_ = frmUpdate::Instance();
};

// A hidden window makes its text box and button only when they are needed; whatever
// happened before must show once they are there. Its marker stays as long as the
// process: unloading cannot remove it.
TEST_F(ProgressWindow, HiddenWindowHoldsItsMarkerAndItsStateShowsLater) {
  window_.LoadHidden();
  EXPECT_TRUE(!IsWindowVisible(window_.Handle()) && PathExists(Marker("zelpatcher")));
  window_.EnableButton();                       // the common ending of a hidden run, before any status
  window_.SetStatus("文件校验失败\r\n请重试");  // a message with a line break replaces the whole text
  window_.Show();
  EXPECT_TRUE(IsWindowEnabled(window_.ButtonHandle()));
  EXPECT_EQ(Status(), "文件校验失败\r\n请重试");

  // Loaded again, the window starts over with its button disabled.
  window_.Unload();
  EXPECT_TRUE(!window_.IsLoaded() && PathExists(Marker("zelpatcher")));
  window_.LoadHidden();
  window_.SetStatus("正在下载......");
  EXPECT_EQ(Status(), "正在下载......");
  EXPECT_TRUE(window_.ButtonHandle() && !IsWindowEnabled(window_.ButtonHandle()));
}

// A window the user closed while the run goes on takes no more status; shown again,
// it is a new window.
TEST_F(ProgressWindow, ShownWindowLayoutButtonAndClosing) {
  window_.Show();
  HWND closed = window_.Handle();
  SendMessageW(closed, WM_CLOSE, 0, 0);
  window_.SetStatus("正在下载......");
  window_.EnableButton();
  window_.SwitchOnWatch();
  EXPECT_FALSE(window_.IsLoaded() || IsWindow(closed));

  window_.Show();
  HWND hwnd = window_.Handle(), button = window_.ButtonHandle();
  EXPECT_TRUE(IsWindowVisible(hwnd) && !IsWindowEnabled(button));
  // The texts, and the layout in pixels at 96 DPI, 15 twips to a pixel.
  RECT client;
  GetClientRect(hwnd, &client);
  EXPECT_EQ(std::tuple(Narrow(WindowText(hwnd) + L"|" + WindowText(button)), Status(), client.right,
                       client.bottom, Placed(window_.StatusHandle()), Placed(button)),
            std::tuple("Zelvora(Zel卫士增强版)-升级程序|退出", "", 404, 246,
                       std::array<LONG, 4>{16, 32, 369, 137}, std::array<LONG, 4>{144, 200, 81, 25}));

  window_.SetStatus("版本已更新到最新");
  window_.EnableButton();
  EXPECT_TRUE(IsWindowEnabled(button));

  SendMessageW(button, BM_CLICK, 0, 0);
  EXPECT_FALSE(window_.IsLoaded() || IsWindow(hwnd));
}

// The watch ticks once a second, over a shown window as over a hidden one: nothing to
// see at the first tick, and the window closes at the next tick after the marker came.
TEST_F(ProgressWindow, WatchClosesTheWindowWhenAnInstallationStarts) {
  for (const bool shown : {true, false}) {
    SCOPED_TRACE(shown ? "shown" : "hidden");
    DeleteFileW(Widen(Marker("zelinstalling")).c_str());
    shown ? window_.Show() : window_.LoadHidden();
    window_.SwitchOnWatch();
    EXPECT_EQ(PumpTicks(10000, 1), 1);
    EXPECT_TRUE(window_.IsLoaded());
    const DWORD start = GetTickCount();
    ASSERT_TRUE(test::WriteBytes(Marker("zelinstalling"), "4242"));
    EXPECT_EQ(PumpTicks(10000), 1);
    const DWORD took = GetTickCount() - start;
    EXPECT_FALSE(window_.IsLoaded() || window_.IsWatching());
    // A generous second (twice the interval would not pass); painting a shown window may
    // hold a tick back on a loaded machine.
    EXPECT_TRUE(shown || (took >= 900 && took < 1900)) << took;
  }
}

}  // namespace
}  // namespace zel
