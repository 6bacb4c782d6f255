#include "support/RequestCatcher_win.h"

#include <winsock2.h>

#include <chrono>
#include <cstdlib>

#include "system/Text.h"

namespace zel::test {

OneRequestCatcher::OneRequestCatcher(std::optional<std::string> answerBody) : answer_(std::move(answerBody)) {
  WSADATA wsa;
  WSAStartup(MAKEWORD(2, 2), &wsa);  // balanced in the destructor, as is the socket
  const SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  listener_ = listener;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int size = sizeof address;
  if (listener == INVALID_SOCKET || bind(listener, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
      listen(listener, SOMAXCONN) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0)
    return;
  port_ = ntohs(address.sin_port);
  serving_ = std::async(std::launch::async, &OneRequestCatcher::Serve, this);
}

OneRequestCatcher::~OneRequestCatcher() {
  ending_ = true;
  closesocket(static_cast<SOCKET>(listener_));  // ends a waiting accept
  if (serving_.valid()) serving_.wait();
  WSACleanup();
}

void OneRequestCatcher::Serve() {
  SOCKET client = accept(static_cast<SOCKET>(listener_), nullptr, nullptr);
  if (client == INVALID_SOCKET) return;
  DWORD timeout = 30000;
  setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
  std::string data;
  char chunk[8192];
  std::size_t end = std::string::npos, length = 0;
  for (;;) {
    if (end == std::string::npos && (end = data.find("\r\n\r\n")) != std::string::npos) {
      const auto at = AsciiLower(data.substr(0, end)).find("\r\ncontent-length:");
      if (at != std::string::npos) length = std::strtoul(data.c_str() + at + 17, nullptr, 10);
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
  }
  if (caught_ && !answer_) {
    // Silent until the client gives up or the catcher ends, whichever comes first.
    timeout = 100;
    setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    for (int got = 0; !ending_ && (got = recv(client, chunk, sizeof chunk, 0)) != 0;)
      if (got < 0 && WSAGetLastError() != WSAETIMEDOUT) break;
  } else if (caught_) {
    const std::string answer =
        "HTTP/1.1 200 OK\r\nContent-Type: application/json; charset=utf-8\r\n"
        "Content-Length: " +
        std::to_string(answer_->size()) + "\r\nConnection: close\r\n\r\n" + *answer_;
    send(client, answer.data(), static_cast<int>(answer.size()), 0);
  }
  shutdown(client, SD_BOTH);
  closesocket(client);
}

bool OneRequestCatcher::Wait(DWORD timeoutMs, std::string& head, std::string& body) {
  if (!serving_.valid() ||
      serving_.wait_for(std::chrono::milliseconds(timeoutMs)) != std::future_status::ready || !caught_)
    return false;
  head = head_;
  body = body_;
  return true;
}

}  // namespace zel::test
