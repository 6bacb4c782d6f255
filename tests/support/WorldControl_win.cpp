#include "support/WorldControl_win.h"

#include <wininet.h>
#include <winsock2.h>

#include <cstdlib>
#include <sstream>

#include "support/E2eWorld_win.h"
#include "system/Text.h"
#include "system/Text_win.h"
#include "system/UniqueHandle_win.h"

namespace zel::test {

std::string WorldSetting(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

ServiceControl::ServiceControl(const std::string& baseUrl) {
  const auto scheme = baseUrl.find("://");
  const std::string rest = scheme == std::string::npos ? baseUrl : baseUrl.substr(scheme + 3);
  const std::string host = rest.substr(0, rest.find_first_of(":/"));
  if (rest.size() > host.size() && rest[host.size()] == ':')
    port_ = static_cast<unsigned short>(std::atoi(rest.c_str() + host.size() + 1));
  host_ = Widen(host);
}

bool ServiceControl::Send(const wchar_t* verb, const std::string& target, const std::string& body,
                          std::string* answer) const {
  // Direct, never through a proxy or the cache: the test must see the service itself.
  UniqueInternet session(InternetOpenW(L"zel-e2e", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  UniqueInternet connection(session ? InternetConnectW(session.Get(), host_.c_str(), port_, nullptr, nullptr,
                                                       INTERNET_SERVICE_HTTP, 0, 0)
                                    : nullptr);
  UniqueInternet request(
      connection ? HttpOpenRequestW(connection.Get(), verb, Widen(target).c_str(), nullptr, nullptr, nullptr,
                                    INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                        INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_PRAGMA_NOCACHE,
                                    0)
                 : nullptr);
  const wchar_t headers[] = L"Content-Type: application/json\r\n";
  DWORD status = 0, size = sizeof status;
  if (!request ||
      !HttpSendRequestW(request.Get(), body.empty() ? nullptr : headers, body.empty() ? 0 : DWORD(-1),
                        const_cast<char*>(body.data()), static_cast<DWORD>(body.size())) ||
      !HttpQueryInfoW(request.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                      nullptr))
    return false;
  char chunk[8192];
  for (DWORD read = 0; answer && InternetReadFile(request.Get(), chunk, sizeof chunk, &read) && read > 0;)
    answer->append(chunk, read);
  return status == 200;
}

bool ServiceControl::Reset() const { return Send(L"POST", "/_test/reset", ""); }

bool ServiceControl::AddFaults(const std::string& faultsJson) const {
  return Send(L"POST", "/_test/faults", faultsJson);
}

std::string ServiceControl::Requests() const {
  std::string requests;
  Send(L"GET", "/_test/requests", "", &requests);
  return requests;
}

HostsOverride::HostsOverride(const std::string& host, const std::string& address)
    : path_(WorldSetting("ZEL_WORLD_HOSTS")) {
  if (path_.empty()) return;
  original_ = ReadFileBytes(path_);
  std::istringstream lines(original_);
  std::string text;
  for (std::string line; std::getline(lines, line);)
    if (!line.ends_with(" " + host)) text += line + "\n";
  text += address + " " + host + "\n";
  // Written in place: the namespace sees the file through a bind mount of this inode.
  applied_ = WriteFileBytes(path_, text);
}

HostsOverride::~HostsOverride() {
  if (applied_) WriteFileBytes(path_, original_);
}

namespace {
bool IsDialog(HWND window) {
  wchar_t name[16] = {};
  GetClassNameW(window, name, 16);
  return std::wstring_view(name) == L"#32770";
}
}  // namespace

HWND FindProgressWindow(DWORD pid, DWORD timeoutMs) {
  for (const DWORD start = GetTickCount();; Sleep(50)) {
    for (HWND window = nullptr; (window = FindWindowExW(nullptr, window, nullptr, nullptr));) {
      DWORD owner = 0;
      GetWindowThreadProcessId(window, &owner);
      if (owner == pid && ChildOfClass(window, L"Button") && !IsDialog(window)) return window;
    }
    if (GetTickCount() - start >= timeoutMs) return nullptr;
  }
}

bool WaitForEnding(HWND window, DWORD timeoutMs, std::wstring& status) {
  for (const DWORD start = GetTickCount(); IsWindow(window) && GetTickCount() - start < timeoutMs;
       Sleep(50)) {
    const HWND button = ChildOfClass(window, L"Button");
    if (button && IsWindowEnabled(button)) {
      status = StatusText(window);
      return true;
    }
  }
  return false;
}

void ClickButton(HWND window) {
  if (HWND button = ChildOfClass(window, L"Button")) SendMessageW(button, BM_CLICK, 0, 0);
}

HWND FindMessageBox(DWORD pid, const std::wstring& caption, DWORD timeoutMs, std::wstring* text) {
  for (const DWORD start = GetTickCount();; Sleep(50)) {
    for (HWND window = nullptr; (window = FindWindowExW(nullptr, window, L"#32770", nullptr));) {
      DWORD owner = 0;
      GetWindowThreadProcessId(window, &owner);
      if (owner != pid || WindowText(window) != caption) continue;
      if (text) {
        // The message is the box's static text that is not the icon.
        text->clear();
        for (HWND label = nullptr; (label = FindWindowExW(window, label, L"Static", nullptr));)
          if (!WindowText(label).empty()) *text = WindowText(label);
      }
      return window;
    }
    if (GetTickCount() - start >= timeoutMs) return nullptr;
  }
}

void AnswerMessageBox(HWND box, int button) { PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0); }

}  // namespace zel::test
