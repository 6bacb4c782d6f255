// The program's only window: one line of status text, the button "退出", and a
// one-second watch timer that closes the window when a package installation starts.
// A hidden window does all the same work; it only stays invisible.
#pragma once
#include <windows.h>

#include <string>

#include "system/ProgressSink.h"
#include "system/UniqueHandle_win.h"

namespace zel {

class frmUpdate final : public ProgressSink {
 public:
  // The one instance of the window.
  static frmUpdate& Instance();

  void Show();        // load when needed and make visible
  void LoadHidden();  // load without showing
  // Replaces the status text. Dropped quietly once the window is gone.
  void SetStatus(const std::string& text) override;
  void EnableButton();
  void SwitchOnWatch();
  void Unload();

  bool IsLoaded() const { return hwnd_ != nullptr; }
  bool IsWatching() const { return watching_; }
  HWND Handle() const { return hwnd_; }
  // The controls are made before the window shows or at its first status: until then
  // (a hidden window without status) these are null.
  HWND ButtonHandle() const { return okButton_; }
  HWND StatusHandle() const { return outUpdateMsg_; }

 private:
  frmUpdate() = default;
  void Load();
  void CreateControls();
  void OnLoad();
  void OnUnload();
  void OnExitClicked();
  void OnWatchTick();
  void SwitchOffWatch();
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  HWND hwnd_ = nullptr;
  HWND okButton_ = nullptr;
  HWND outUpdateMsg_ = nullptr;
  UniqueGdiObject font_;
  int dpi_ = 96;
  bool buttonEnabled_ = false;  // also while the button is not made yet
  bool watching_ = false;
};

}  // namespace zel
