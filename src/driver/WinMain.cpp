// zelpatcher.exe: a GUI program without a console.
#include <windows.h>
#include <objbase.h>

#include "driver/ProgressWindow_win.h"
#include "driver/UpdateRun.h"
#include "system/Platform_win.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // One apartment-threaded COM for the GUI thread (WMI, automation servers).
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (SUCCEEDED(com))
    CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT, RPC_C_IMP_LEVEL_IMPERSONATE,
                         nullptr, EOAC_NONE, nullptr);

  zel::PlatformScope platform(zel::Win32Platform());
  zel::Main();

  // A shown window outlives the run until the user closes it or an installation starts.
  const zel::frmUpdate& window = zel::frmUpdate::Instance();
  MSG msg;
  while (window.IsLoaded() && GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return 0;
}
