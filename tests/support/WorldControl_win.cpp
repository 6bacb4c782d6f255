#include "support/WorldControl_win.h"

#include <cstdlib>
#include <sstream>

#include "support/E2eWorld_win.h"
#include "system/HttpClient.h"
#include "system/Text_win.h"

namespace zel::test {

std::string WorldSetting(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

bool ServiceControl::Send(const char* method, const std::string& target, const std::string& body,
                          std::string* answer) const {
  // The program's own client: it keeps nothing in the system cache, so every answer
  // comes from the service itself.
  const auto client = CreateHttpClient();
  if (!client->Start({method, base_ + target, {{"Connection", "close"}}, body})) return false;
  client->Wait();
  const HttpResponse* response = client->Response();
  if (!response || response->status != 200) return false;
  if (answer) answer->assign(response->body.begin(), response->body.end());
  return true;
}

bool ServiceControl::Reset() const { return Send("POST", "/_test/reset", ""); }

bool ServiceControl::AddFaults(const std::string& faultsJson) const {
  return Send("POST", "/_test/faults", faultsJson);
}

std::string ServiceControl::Requests() const {
  std::string requests;
  Send("GET", "/_test/requests", "", &requests);
  return requests;
}

HostsOverride::HostsOverride(const std::string& host, const std::string& address)
    : path_(WorldSetting("ZEL_WORLD_HOSTS")) {
  if (path_.empty()) return;
  original_ = ReadBytes(path_);
  std::istringstream lines(original_);
  std::string text;
  for (std::string line; std::getline(lines, line);)
    if (!line.ends_with(" " + host)) text += line + "\n";
  text += address + " " + host + "\n";
  // Written in place: the namespace sees the file through a bind mount of this inode.
  applied_ = WriteBytes(path_, text);
}

HostsOverride::~HostsOverride() {
  if (applied_) WriteBytes(path_, original_);
}

namespace {
constexpr wchar_t kInternetSettings[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
}  // namespace

UserProxy::UserProxy(const std::string& address) {
  const std::wstring server = Widen(address);
  const DWORD enable = 1;
  applied_ = !RegSetKeyValueW(HKEY_CURRENT_USER, kInternetSettings, L"ProxyServer", REG_SZ, server.c_str(),
                              static_cast<DWORD>((server.size() + 1) * sizeof(wchar_t))) &&
             !RegSetKeyValueW(HKEY_CURRENT_USER, kInternetSettings, L"ProxyEnable", REG_DWORD, &enable,
                              sizeof enable);
}

UserProxy::~UserProxy() {
  const DWORD disable = 0;
  RegSetKeyValueW(HKEY_CURRENT_USER, kInternetSettings, L"ProxyEnable", REG_DWORD, &disable, sizeof disable);
  RegDeleteKeyValueW(HKEY_CURRENT_USER, kInternetSettings, L"ProxyServer");
}

namespace {

// The first top-level window of the class (null: any) and process (0: any) that passes
// test, waiting up to timeoutMs; null when none came.
template <typename Test>
HWND FindWindowOf(DWORD pid, const wchar_t* className, DWORD timeoutMs, Test test) {
  HWND found = nullptr;
  WaitFor(
      [&] {
        for (HWND window = nullptr;
             !found && (window = FindWindowExW(nullptr, window, className, nullptr));) {
          DWORD owner = 0;
          GetWindowThreadProcessId(window, &owner);
          if ((pid == 0 || owner == pid) && test(window)) found = window;
        }
        return found != nullptr;
      },
      timeoutMs);
  return found;
}

}  // namespace

HWND FindProgressWindow(DWORD pid, DWORD timeoutMs) {
  return FindWindowOf(pid, nullptr, timeoutMs, [](HWND window) {
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    return ChildOfClass(window, L"Button") && std::wstring_view(className) != L"#32770";  // not a dialog
  });
}

bool WaitForEnding(HWND window, DWORD timeoutMs, std::wstring& status) {
  const auto ended = [&] {
    const HWND button = ChildOfClass(window, L"Button");
    return !IsWindow(window) || (button && IsWindowEnabled(button));
  };
  if (!WaitFor(ended, timeoutMs) || !IsWindow(window)) return false;
  status = StatusText(window);
  return true;
}

void ClickButton(HWND window) {
  if (HWND button = ChildOfClass(window, L"Button")) SendMessageW(button, BM_CLICK, 0, 0);
}

HWND FindMessageBox(DWORD pid, const std::wstring& caption, DWORD timeoutMs, std::wstring* text) {
  const HWND box =
      FindWindowOf(pid, L"#32770", timeoutMs, [&](HWND window) { return WindowText(window) == caption; });
  // The message is the box's static text that is not the icon.
  if (text) text->clear();
  for (HWND label = nullptr; box && text && (label = FindWindowExW(box, label, L"Static", nullptr));)
    if (!WindowText(label).empty()) *text = WindowText(label);
  return box;
}

void AnswerMessageBox(HWND box, int button) { PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0); }

}  // namespace zel::test
