#include "driver/ProgressWindow_win.h"

#include "driver/ProgramTexts.h"
#include "system/RunMarkers.h"
#include "system/Text_win.h"
#include "system/RunMarkers.h"

namespace zel {
namespace {

constexpr wchar_t kClassName[] = L"ZELUpdaterProgress";
constexpr UINT_PTR kWatchTimerId = 1;
constexpr UINT kWatchIntervalMs = 1000;
constexpr int kOkButtonId = 101;
constexpr int kStatusBoxId = 102;
constexpr int kAppIconId = 1;

// The layout is given in twips (1/1440 inch): 15 twips to a pixel at 96 DPI.
int Px(int twips, int dpi) { return MulDiv(twips, dpi, 1440); }

int ScreenDpi() {
  const UniqueScreenDc screen(GetDC(nullptr));
  const int dpi = screen ? GetDeviceCaps(screen.Get(), LOGPIXELSY) : 96;
  return dpi > 0 ? dpi : 96;
}

void RegisterWindowClass(WNDPROC proc) {
  static bool registered = false;
  if (registered) return;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hIcon = LoadIconW(wc.hInstance, MAKEINTRESOURCEW(kAppIconId));
  wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kClassName;
  registered = RegisterClassExW(&wc) != 0;
}

// Wakes a thread that waits in GetMessage for the window to go away.
void WakeMessageLoop() { PostThreadMessageW(GetCurrentThreadId(), WM_NULL, 0, 0); }

}  // namespace

frmUpdate& frmUpdate::Instance() {
  static frmUpdate window;
  return window;
}

void frmUpdate::Load() {
  if (hwnd_) return;
  RegisterWindowClass(&frmUpdate::WindowProc);
  const int dpi = dpi_ = ScreenDpi();
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  RECT frame{0, 0, Px(6060, dpi), Px(3690, dpi)};
  AdjustWindowRectEx(&frame, style, FALSE, 0);
  const int width = frame.right - frame.left, height = frame.bottom - frame.top;
  const int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  const int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  HINSTANCE instance = GetModuleHandleW(nullptr);
  hwnd_ = CreateWindowExW(0, kClassName, Widen(kWindowCaption).c_str(), style, x, y, width, height, nullptr,
                          nullptr, instance, nullptr);
  if (!hwnd_) return;
  OnLoad();
}

// The text box and the button are made when first needed: before the window shows, or
// at the first status text. A hidden run that ends without a status (the common "not
// due" run) never pays for them, their font or their control classes; the button's
// state is kept until then.
void frmUpdate::CreateControls() {
  if (!hwnd_ || outUpdateMsg_) return;
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
    font_.Reset(CreateFontIndirectW(&metrics.lfMessageFont));

  HINSTANCE instance = GetModuleHandleW(nullptr);
  const int dpi = dpi_;
  outUpdateMsg_ = CreateWindowExW(
      WS_EX_CLIENTEDGE, L"EDIT", L"",
      WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, Px(240, dpi),
      Px(480, dpi), Px(5535, dpi), Px(2055, dpi), hwnd_,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(kStatusBoxId)), instance, nullptr);
  const DWORD buttonState = buttonEnabled_ ? 0 : WS_DISABLED;
  okButton_ = CreateWindowExW(0, L"BUTTON", Widen(kExitButtonCaption).c_str(),
                              WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON | buttonState, Px(2160, dpi),
                              Px(3000, dpi), Px(1215, dpi), Px(375, dpi), hwnd_,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(kOkButtonId)), instance, nullptr);
  for (HWND control : {outUpdateMsg_, okButton_})
    if (control && font_) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_.Get()), TRUE);
}

void frmUpdate::Show() {
  Load();
  CreateControls();
  if (!hwnd_) return;
  ShowWindow(hwnd_, SW_SHOWNORMAL);
  UpdateWindow(hwnd_);
}

void frmUpdate::LoadHidden() { Load(); }

void frmUpdate::SetStatus(const std::string& text) {
  CreateControls();
  if (!outUpdateMsg_) return;
  // The text as it is: the program's own line breaks are CR LF, and a server's
  // answer is shown exactly as it came.
  SetWindowTextW(outUpdateMsg_, Widen(text).c_str());
  if (IsWindowVisible(hwnd_)) UpdateWindow(outUpdateMsg_);
}

void frmUpdate::EnableButton() {
  if (!hwnd_) return;
  buttonEnabled_ = true;
  if (okButton_) EnableWindow(okButton_, TRUE);
}

void frmUpdate::SwitchOnWatch() {
  if (!hwnd_ || watching_) return;
  watching_ = SetTimer(hwnd_, kWatchTimerId, kWatchIntervalMs, nullptr) != 0;
}

void frmUpdate::SwitchOffWatch() {
  if (hwnd_ && watching_) KillTimer(hwnd_, kWatchTimerId);
  watching_ = false;
}

void frmUpdate::Unload() {
  if (!hwnd_) return;
  SwitchOffWatch();
  OnUnload();
  HWND window = hwnd_;
  hwnd_ = okButton_ = outUpdateMsg_ = nullptr;
  buttonEnabled_ = false;
  DestroyWindow(window);
  font_.Reset();
  WakeMessageLoop();
}

void frmUpdate::OnLoad() { CreateRunMarker(kUpdaterMarker, ""); }

// The marker is held open by this very process, so it only goes when the process ends.
void frmUpdate::OnUnload() { DeleteRunMarker(kUpdaterMarker); }

void frmUpdate::OnExitClicked() { Unload(); }

void frmUpdate::OnWatchTick() {
  if (RunMarkerExists(kInstallingMarker, "")) {
    SwitchOffWatch();
    Unload();
  }
}

LRESULT CALLBACK frmUpdate::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  frmUpdate& self = Instance();
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wParam) == kOkButtonId && HIWORD(wParam) == BN_CLICKED) {
        self.OnExitClicked();
        return 0;
      }
      break;
    case WM_TIMER:
      if (wParam == kWatchTimerId && hwnd == self.hwnd_) {
        self.OnWatchTick();
        return 0;
      }
      break;
    case WM_CTLCOLORSTATIC:  // the read-only status box keeps a text box's white background
      if (reinterpret_cast<HWND>(lParam) == self.outUpdateMsg_) {
        SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
      }
      break;
    case WM_CLOSE:
      self.Unload();
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace zel
