// The world around the program under test, seen from a Windows program running in
// it (tests/e2e/world/run-in-world.sh sets it up): the update service's test control,
// the namespace's hosts file, and the program's progress window as a user sees it.
#pragma once
#include <windows.h>

#include <utility>
#include <string>

namespace zel::test {

// A ZEL_WORLD_* variable of the world; empty outside a world.
std::string WorldSetting(const char* name);

// The reference update service's test control: what it received, and faults that
// script its next answers.
class ServiceControl {
 public:
  // baseUrl: http://host[:port], as ZEL_WORLD_SERVICE gives it.
  explicit ServiceControl(std::string baseUrl) : base_(std::move(baseUrl)) {}

  // Forgets the recorded requests and the remaining faults.
  bool Reset() const;
  // Appends to the fault script: a JSON array of faults as the service takes them.
  bool AddFaults(const std::string& faultsJson) const;
  // Every request received since the last reset, as the service's JSON array text.
  std::string Requests() const;

 private:
  // True when the control answered 200; its body goes to *answer.
  bool Send(const char* method, const std::string& target, const std::string& body,
            std::string* answer = nullptr) const;
  std::string base_;
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

// Sets the user's HTTP proxy the way Windows keeps it (the Internet Settings of the
// current user), for every program started while it lives.
class UserProxy {
 public:
  explicit UserProxy(const std::string& address);  // host:port
  ~UserProxy();
  UserProxy(const UserProxy&) = delete;
  UserProxy& operator=(const UserProxy&) = delete;
  bool Applied() const { return applied_; }

 private:
  bool applied_ = false;
};

// The progress window of a program: its first top-level window that has a button.
HWND FindProgressWindow(DWORD pid, DWORD timeoutMs);
// Waits until the window's button is enabled (the run has reached its end) and gives
// the status text shown then; false when the time ran out or the window went away.
bool WaitForEnding(HWND window, DWORD timeoutMs, std::wstring& status);
// Clicks the window's button.
void ClickButton(HWND window);

// A message box of the process (0: of any process) with that caption, waiting up to timeoutMs; null when
// none came. Its text goes to *text.
HWND FindMessageBox(DWORD pid, const std::wstring& caption, DWORD timeoutMs, std::wstring* text = nullptr);
// Answers a message box as a person would, with one of its buttons (IDYES, IDNO, IDOK).
void AnswerMessageBox(HWND box, int button);

}  // namespace zel::test
