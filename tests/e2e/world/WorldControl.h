// The world around the program under test, seen from a Windows program running in
// it (tests/e2e/world/run-in-world.sh sets it up): the update service's test control,
// the namespace's hosts file, and the program's progress window as a user sees it.
#pragma once
#include <windows.h>

#include <future>
#include <string>

namespace zel::e2e {

// A ZEL_WORLD_* variable of the world; empty outside a world.
std::string WorldSetting(const char* name);

// The reference update service's test control: what it received, and faults that
// script its next answers.
class ServiceControl {
 public:
  // baseUrl: http://host[:port], as ZEL_WORLD_SERVICE gives it.
  explicit ServiceControl(const std::string& baseUrl);

  // Forgets the recorded requests and the remaining faults.
  bool Reset() const;
  // Appends to the fault script: a JSON array of faults as the service takes them.
  bool AddFaults(const std::string& faultsJson) const;
  // Every request received since the last reset, as the service's JSON array text.
  std::string Requests() const;

 private:
  // True when the control answered 200; its body goes to *answer.
  bool Send(const wchar_t* verb, const std::string& target, const std::string& body,
            std::string* answer = nullptr) const;
  std::wstring host_;
  unsigned short port_ = 80;
};

// A listener on a free loopback port that takes one HTTP request, keeps its bytes as
// they arrived (the service's log cannot show everything, e.g. headers with empty
// values) and answers it with status 200 and a given body.
class OneRequestCatcher {
 public:
  explicit OneRequestCatcher(std::string answerBody);
  ~OneRequestCatcher();
  OneRequestCatcher(const OneRequestCatcher&) = delete;
  OneRequestCatcher& operator=(const OneRequestCatcher&) = delete;

  unsigned short Port() const { return port_; }  // 0 when no listener could be made
  // The request's head (request line and header lines, without the blank line) and
  // body; false when none arrived within the time.
  bool Wait(DWORD timeoutMs, std::string& head, std::string& body);

 private:
  void Serve();
  std::string answer_;
  unsigned long long listener_ = ~0ull;  // SOCKET
  unsigned short port_ = 0;
  std::string head_, body_;
  bool caught_ = false;
  std::future<void> serving_;  // declared last: joined before the rest goes
};

// Points a host name of the world's hosts file at another address while it lives;
// every program of the world resolves the name anew from then on.
class HostsOverride {
 public:
  HostsOverride(const std::string& host, const std::string& address);
  ~HostsOverride();
  HostsOverride(const HostsOverride&) = delete;
  HostsOverride& operator=(const HostsOverride&) = delete;
  bool Applied() const { return applied_; }

 private:
  std::string path_;
  std::string original_;
  bool applied_ = false;
};

// The progress window of a program: its first top-level window that has a button.
HWND FindProgressWindow(DWORD pid, DWORD timeoutMs);
// Waits until the window's button is enabled (the run has reached its end) and gives
// the status text shown then; false when the time ran out or the window went away.
bool WaitForEnding(HWND window, DWORD timeoutMs, std::wstring& status);
// Clicks the window's button.
void ClickButton(HWND window);

}  // namespace zel::e2e
