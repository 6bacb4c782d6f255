// The floor of a "not due" run: the system work any program must do before it can
// tell that no check is due, and nothing else. One named mutex, COM with default
// security and a bound WMI service of root\cimv2, one hidden window (registered class,
// no controls), one value read from the settings file, then the end. Written as plain
// Win32 calls, without a manifest and without the program's own code, so that it costs
// what the system costs and no more.
#include <windows.h>
#include <objbase.h>
#include <wbemidl.h>

namespace {

LRESULT CALLBACK FloorWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

bool BindWmi() {
  IWbemLocator* locator = nullptr;
  if (FAILED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                              reinterpret_cast<void**>(&locator))))
    return false;
  BSTR space = SysAllocString(L"\\\\.\\root\\cimv2");
  IWbemServices* services = nullptr;
  const HRESULT hr = locator->ConnectServer(space, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &services);
  SysFreeString(space);
  if (services) services->Release();
  locator->Release();
  return SUCCEEDED(hr);
}

bool OneHiddenWindow(HINSTANCE instance) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = FloorWindowProc;
  wc.hInstance = instance;
  wc.lpszClassName = L"ZELStartupFloor";
  if (!RegisterClassExW(&wc)) return false;
  HWND window = CreateWindowExW(0, wc.lpszClassName, L"floor", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                400, 300, nullptr, nullptr, instance, nullptr);
  if (!window) return false;
  DestroyWindow(window);
  return true;
}

// The settings file lies where the program keeps it: %APPDATA%\zelGuard\config.dat.
bool ReadOneSetting() {
  char path[MAX_PATH + 32];
  const DWORD length = GetEnvironmentVariableA("APPDATA", path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  lstrcatA(path, "\\zelGuard\\config.dat");
  char value[64];
  return GetPrivateProfileStringA("general", "LastCheckUpdate", "", value, sizeof value, path) > 0;
}

}  // namespace

// Exit code 0 when every step worked; a floor that skipped a step would be too low.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  HANDLE mutex = CreateMutexW(nullptr, FALSE, L"Local\\ZELStartupFloor");
  bool ok = mutex != nullptr;
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  ok = ok && SUCCEEDED(com) &&
       SUCCEEDED(CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                                      RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr));
  ok = ok && BindWmi();
  ok = ok && OneHiddenWindow(instance);
  ok = ok && ReadOneSetting();
  if (SUCCEEDED(com)) CoUninitialize();
  if (mutex) CloseHandle(mutex);
  return ok ? 0 : 1;
}
