#include "support/E2eWorld_win.h"

#include <tlhelp32.h>

#include "system/Text.h"
#include "system/Text_win.h"

namespace zel::test {
bool Child::Running() const { return process_ && WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT; }

bool Child::WaitExit(DWORD timeoutMs, DWORD* code) const {
  if (!process_ || WaitForSingleObject(process_.Get(), timeoutMs) != WAIT_OBJECT_0) return false;
  if (code) GetExitCodeProcess(process_.Get(), code);
  return true;
}

void Child::Kill() {
  if (Running()) {
    TerminateProcess(process_.Get(), 1);
    WaitForSingleObject(process_.Get(), 5000);
  }
  process_.Reset();
}

std::string World::InstallProduct(const std::map<std::string, std::string>& files, std::string folder) const {
  if (folder.empty()) folder = ProductDir();
  CreateDirectoryW(Widen(folder).c_str(), nullptr);
  std::map<std::string, std::string> all = {{"zelpatcher.exe", "zelpatcher.exe"}, {"zlib1.dll", "zlib1.dll"}};
  for (const auto& [name, built] : files) all[name] = built;
  for (const auto& [name, built] : all)
    if (!CopyFileW(Widen(GetAppDir() + built).c_str(), Widen(folder + name).c_str(), FALSE)) return "";
  return folder + "zelpatcher.exe";
}

namespace {

// Starts the command line with the token (null: this process's own); it inherits this
// process's environment.
Child StartAs(HANDLE token, std::wstring commandLine) {
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!(token ? CreateProcessAsUserW(token, nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                     nullptr, &si, &pi)
              : CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                               &pi)))
    return {};
  CloseHandle(pi.hThread);
  return Child(UniqueKernelHandle(pi.hProcess), pi.dwProcessId);
}

}  // namespace

Child World::Start(const std::string& program, const std::string& arguments, bool elevated) const {
  for (const auto& [name, folder] : {std::pair{L"APPDATA", AppData()},
                                     {L"ProgramData", ProgramData()},
                                     {L"TEMP", Temp()},
                                     {L"TMP", Temp()}})
    SetEnvironmentVariableW(name, Widen(folder).c_str());
  const std::wstring commandLine = L"\"" + Widen(program) + L"\" " + Widen(arguments);
  return elevated ? StartAs(nullptr, commandLine) : StartLimited(commandLine);
}

Child StartLimited(std::wstring commandLine) {
  UniqueKernelHandle own;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE, own.Put())) return {};
  TOKEN_LINKED_TOKEN linked{};
  DWORD size = 0;
  if (!GetTokenInformation(own.Get(), TokenLinkedToken, &linked, sizeof linked, &size)) return {};
  UniqueKernelHandle limited(linked.LinkedToken);
  UniqueKernelHandle primary;
  if (!DuplicateTokenEx(limited.Get(), TOKEN_ALL_ACCESS, nullptr, SecurityImpersonation, TokenPrimary,
                        primary.Put()))
    return {};
  return StartAs(primary.Get(), std::move(commandLine));
}

std::wstring WindowText(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(GetWindowTextW(window, text.data(), static_cast<int>(text.size())));
  return text;
}

HWND ChildOfClass(HWND parent, const wchar_t* className) {
  return FindWindowExW(parent, nullptr, className, nullptr);
}

std::wstring StatusText(HWND window) {
  // GetWindowText does not ask a window of another process for its text (it gives
  // the caption stored with the window, empty for a text box): WM_GETTEXT does.
  // Not SMTO_ABORTIFHUNG: a run whose thread sat in a slow synchronous send counts
  // as hung until it next reads its queue, and the ending is read right after that.
  HWND box = ChildOfClass(window, L"Edit");
  DWORD_PTR length = 0;
  if (!box || !SendMessageTimeoutW(box, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 5000, &length)) return L"";
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(box, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                           SMTO_NORMAL, 5000, &copied))
    return L"";
  text.resize(copied);
  return text;
}

namespace {

// Calls visit with every process the system lists.
template <typename Visit>
void ForEachProcess(Visit visit) {
  // A failed snapshot is INVALID_HANDLE_VALUE, as with files.
  const UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry))
    visit(entry);
}

}  // namespace

int ProcessesNamed(const std::string& fileName) {
  int count = 0;
  ForEachProcess([&](const PROCESSENTRY32W& entry) { count += LowerText(Narrow(entry.szExeFile)) == LowerText(fileName); });
  return count;
}

bool KillImage(const std::string& path, bool onlyLook) {
  bool found = false;
  ForEachProcess([&](const PROCESSENTRY32W& entry) {
    const UniqueKernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE,
                                                 FALSE, entry.th32ProcessID));
    wchar_t image[MAX_PATH];
    DWORD length = MAX_PATH;
    if (!process || !QueryFullProcessImageNameW(process.Get(), 0, image, &length) ||
        LowerText(Narrow(std::wstring_view(image, length))) != LowerText(path))
      return;
    found = onlyLook || (TerminateProcess(process.Get(), 9) && WaitForSingleObject(process.Get(), 10000) == WAIT_OBJECT_0);
  });
  return found;
}

}  // namespace zel::test
