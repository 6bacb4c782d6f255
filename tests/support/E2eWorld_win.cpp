#include "support/E2eWorld_win.h"

#include <tlhelp32.h>

#include <cstdio>
#include <filesystem>

#include "system/Text.h"
#include "system/Text_win.h"

namespace zel::test {
namespace {

bool SameNameIgnoringCase(const std::wstring& entry, const std::wstring& name) {
  const auto eq = entry.find(L'=', 1);
  return eq == name.size() && CompareStringOrdinal(entry.c_str(), static_cast<int>(eq), name.c_str(),
                                                   static_cast<int>(name.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace

std::string BinDir() {
  std::wstring path(32768, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return Narrow(path.substr(0, path.find_last_of(L'\\') + 1));
}

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

World::World(const std::string& name) {
  wchar_t temp[MAX_PATH + 1];
  GetTempPathW(MAX_PATH, temp);
  root_ = MakeFreshFolder(Narrow(temp) + "zel-e2e", name) + "\\";
  for (const std::string& dir : {AppData(), ProgramData(), Temp()})
    CreateDirectoryW(Widen(dir).c_str(), nullptr);
}

World::~World() {
  std::error_code ignored;
  std::filesystem::remove_all(PathOf(root_), ignored);
}

std::string World::InstallProduct(const std::map<std::string, std::string>& files, std::string folder) const {
  if (folder.empty()) folder = ProductDir();
  CreateDirectoryW(Widen(folder).c_str(), nullptr);
  std::map<std::string, std::string> all = {{"zelpatcher.exe", "zelpatcher.exe"}, {"zlib1.dll", "zlib1.dll"}};
  for (const auto& [name, built] : files) all[name] = built;
  for (const auto& [name, built] : all)
    if (!CopyFileW(Widen(BinDir() + built).c_str(), Widen(folder + name).c_str(), FALSE)) return "";
  return folder + "zelpatcher.exe";
}

std::wstring World::EnvironmentBlock() const {
  const std::pair<std::wstring, std::string> overrides[] = {
      {L"APPDATA", AppData()}, {L"ProgramData", ProgramData()}, {L"TEMP", Temp()}, {L"TMP", Temp()}};
  std::wstring block;
  wchar_t* env = GetEnvironmentStringsW();
  for (const wchar_t* p = env; *p; p += wcslen(p) + 1) {
    const std::wstring entry = p;
    bool replaced = false;
    for (const auto& [key, value] : overrides) replaced = replaced || SameNameIgnoringCase(entry, key);
    if (!replaced) block += entry + L'\0';
  }
  FreeEnvironmentStringsW(env);
  for (const auto& [key, value] : overrides) block += key + L"=" + Widen(value) + L'\0';
  block += L'\0';
  return block;
}

namespace {

// Starts the command line with the token (null: this process's own) and environment.
Child StartAs(HANDLE token, std::wstring commandLine, const wchar_t* environment) {
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  auto* env = const_cast<wchar_t*>(environment);
  const DWORD flags = CREATE_UNICODE_ENVIRONMENT;
  if (!(token ? CreateProcessAsUserW(token, nullptr, commandLine.data(), nullptr, nullptr, FALSE, flags, env,
                                     nullptr, &si, &pi)
              : CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, flags, env, nullptr, &si, &pi)))
    return {};
  CloseHandle(pi.hThread);
  return Child(UniqueKernelHandle(pi.hProcess), pi.dwProcessId);
}

}  // namespace

Child World::Start(const std::string& program, const std::string& arguments) const {
  return StartAs(nullptr, L"\"" + Widen(program) + L"\" " + Widen(arguments), EnvironmentBlock().c_str());
}

Child World::StartNotElevated(const std::string& program, const std::string& arguments) const {
  return StartLimited(L"\"" + Widen(program) + L"\" " + Widen(arguments), EnvironmentBlock().c_str());
}

Child StartLimited(std::wstring commandLine, const wchar_t* environment) {
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
  return StartAs(primary.Get(), std::move(commandLine), environment);
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

std::string TodayDateText() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  char text[16];
  std::snprintf(text, sizeof text, "%02u-%02u-%04u", now.wMonth, now.wDay, now.wYear);
  return text;
}

std::string IniValue(const std::string& path, const std::string& section, const std::string& key) {
  char value[4096] = {};
  GetPrivateProfileStringA(ToAnsi(section).c_str(), ToAnsi(key).c_str(), "", value, sizeof value,
                           ToAnsi(path).c_str());
  return FromAnsi(value);
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

bool ProcessNamedRuns(const std::string& fileName) { return ProcessesNamed(fileName) > 0; }

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
