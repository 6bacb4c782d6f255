#include "world/WorldControl.h"

#include <wininet.h>
#include <winsock2.h>

#include <cctype>
#include <cstdlib>
#include <sstream>

#include "E2eWorld.h"
#include "system/TextWin.h"
#include "system/UniqueHandle.h"

namespace zel::e2e {

std::string WorldSetting(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

ServiceControl::ServiceControl(const std::string& baseUrl) {
  std::string rest = baseUrl.substr(baseUrl.find("://") == std::string::npos ? 0 : baseUrl.find("://") + 3);
  rest = rest.substr(0, rest.find('/'));
  const auto colon = rest.find(':');
  if (colon != std::string::npos) {
    port_ = static_cast<unsigned short>(std::atoi(rest.c_str() + colon + 1));
    rest.resize(colon);
  }
  host_ = Widen(rest);
}

ServiceControl::Answer ServiceControl::Send(const wchar_t* verb, const std::string& target,
                                            const std::string& body) const {
  Answer answer;
  // Direct, never through a proxy or the cache: the test must see the service itself.
  UniqueInternet session(InternetOpenW(L"zel-e2e", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  if (!session) return answer;
  UniqueInternet connection(
      InternetConnectW(session.Get(), host_.c_str(), port_, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  if (!connection) return answer;
  UniqueInternet request(HttpOpenRequestW(connection.Get(), verb, Widen(target).c_str(), nullptr, nullptr,
                                          nullptr,
                                          INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                              INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_PRAGMA_NOCACHE,
                                          0));
  if (!request) return answer;
  const wchar_t headers[] = L"Content-Type: application/json\r\n";
  if (!HttpSendRequestW(request.Get(), body.empty() ? nullptr : headers, body.empty() ? 0 : DWORD(-1),
                        const_cast<char*>(body.data()), static_cast<DWORD>(body.size())))
    return answer;
  DWORD status = 0, size = sizeof status;
  if (!HttpQueryInfoW(request.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                      nullptr))
    return answer;
  char chunk[8192];
  DWORD read = 0;
  while (InternetReadFile(request.Get(), chunk, sizeof chunk, &read) && read > 0)
    answer.body.append(chunk, read);
  answer.status = status;
  return answer;
}

bool ServiceControl::Reset() const { return Send(L"POST", "/_test/reset", "").status == 200; }

bool ServiceControl::AddFaults(const std::string& faultsJson) const {
  return Send(L"POST", "/_test/faults", faultsJson).status == 200;
}

std::string ServiceControl::Requests() const { return Send(L"GET", "/_test/requests", "").body; }

OneRequestCatcher::OneRequestCatcher(std::string answerBody) : answer_(std::move(answerBody)) {
  WSADATA wsa;
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return;
  SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int size = sizeof address;
  if (listener == INVALID_SOCKET || bind(listener, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
      listen(listener, 1) != 0 || getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    if (listener != INVALID_SOCKET) closesocket(listener);
    return;
  }
  listener_ = listener;
  port_ = ntohs(address.sin_port);
  thread_ = CreateThread(
      nullptr, 0,
      [](void* self) -> DWORD {
        static_cast<OneRequestCatcher*>(self)->Serve();
        return 0;
      },
      this, 0, nullptr);
}

OneRequestCatcher::~OneRequestCatcher() {
  if (listener_ != ~0ull) closesocket(static_cast<SOCKET>(listener_));  // ends a waiting accept
  if (thread_) {
    WaitForSingleObject(thread_, 10000);
    CloseHandle(thread_);
  }
  if (listener_ != ~0ull) WSACleanup();
}

void OneRequestCatcher::Serve() {
  SOCKET client = accept(static_cast<SOCKET>(listener_), nullptr, nullptr);
  if (client == INVALID_SOCKET) return;
  DWORD timeout = 30000;
  setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
  std::string data;
  char chunk[8192];
  std::size_t end = std::string::npos;
  std::size_t length = 0;
  for (;;) {
    if (end == std::string::npos && (end = data.find("\r\n\r\n")) != std::string::npos) {
      std::string head = data.substr(0, end);
      for (char& c : head) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
      const auto at = head.find("\r\ncontent-length:");
      if (at != std::string::npos) length = std::strtoul(head.c_str() + at + 17, nullptr, 10);
    }
    if (end != std::string::npos && data.size() >= end + 4 + length) break;
    const int got = recv(client, chunk, sizeof chunk, 0);
    if (got <= 0) break;
    data.append(chunk, static_cast<std::size_t>(got));
  }
  if (end != std::string::npos) {
    head_ = data.substr(0, end);
    body_ = data.substr(end + 4);
    caught_ = true;
    const std::string answer =
        "HTTP/1.1 200 OK\r\nContent-Type: application/json; charset=utf-8\r\n"
        "Content-Length: " +
        std::to_string(answer_.size()) + "\r\nConnection: close\r\n\r\n" + answer_;
    send(client, answer.data(), static_cast<int>(answer.size()), 0);
  }
  shutdown(client, SD_BOTH);
  closesocket(client);
}

bool OneRequestCatcher::Wait(DWORD timeoutMs, std::string& head, std::string& body) {
  if (!thread_ || WaitForSingleObject(thread_, timeoutMs) != WAIT_OBJECT_0 || !caught_) return false;
  head = head_;
  body = body_;
  return true;
}

HostsOverride::HostsOverride(const std::string& host, const std::string& address)
    : path_(WorldSetting("ZEL_WORLD_HOSTS")) {
  if (path_.empty()) return;
  original_ = ReadFileBytes(path_);
  std::istringstream lines(original_);
  std::string text, line;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string ip, name;
    words >> ip >> name;
    if (name != host) text += line + "\n";
  }
  text += address + " " + host + "\n";
  // Written in place: the namespace sees the file through a bind mount of this inode.
  applied_ = WriteFileBytes(path_, text);
}

HostsOverride::~HostsOverride() {
  if (applied_) WriteFileBytes(path_, original_);
}

HWND FindProgressWindow(DWORD pid, DWORD timeoutMs) {
  struct Search {
    DWORD pid;
    HWND found;
  } search{pid, nullptr};
  const DWORD start = GetTickCount();
  for (;;) {
    EnumWindows(
        [](HWND hwnd, LPARAM param) -> BOOL {
          auto* s = reinterpret_cast<Search*>(param);
          DWORD owner = 0;
          GetWindowThreadProcessId(hwnd, &owner);
          if (owner != s->pid || !ChildOfClass(hwnd, L"Button")) return TRUE;
          s->found = hwnd;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    if (search.found || GetTickCount() - start >= timeoutMs) return search.found;
    Sleep(50);
  }
}


bool WaitForEnding(HWND window, DWORD timeoutMs, std::wstring& status) {
  const DWORD start = GetTickCount();
  while (IsWindow(window)) {
    HWND button = ChildOfClass(window, L"Button");
    if (button && IsWindowEnabled(button)) {
      status = StatusText(window);
      return true;
    }
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(50);
  }
  return false;
}

void ClickButton(HWND window) {
  if (HWND button = ChildOfClass(window, L"Button")) SendMessageW(button, BM_CLICK, 0, 0);
}

}  // namespace zel::e2e
