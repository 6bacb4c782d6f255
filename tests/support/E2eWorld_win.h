// A world for running the real programs: fresh AppData, ProgramData and TEMP folders
// per scenario, handed to the started programs through their environment, so no
// scenario sees another's settings, markers or packages.
#pragma once
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "support/ScratchFolders_win.h"
#include "system/UniqueHandle_win.h"

namespace zel::test {

// Real time, for what other processes do: polls every 100 ms up to timeoutMs.
template <typename Condition>
bool WaitFor(Condition done, DWORD timeoutMs = 60000) {
  for (const DWORD start = GetTickCount(); GetTickCount() - start < timeoutMs; Sleep(100))
    if (done()) return true;
  return done();
}

class Child {
 public:
  Child() = default;
  Child(UniqueKernelHandle process, DWORD pid) : process_(std::move(process)), pid_(pid) {}
  DWORD Pid() const { return pid_; }
  bool Running() const;
  // Waits for the end; true when it ended within the time. The exit code goes to *code.
  bool WaitExit(DWORD timeoutMs, DWORD* code = nullptr) const;
  void Kill();
  ~Child() { Kill(); }
  Child(Child&&) = default;
  Child& operator=(Child&&) = default;

 private:
  UniqueKernelHandle process_;
  DWORD pid_ = 0;
};

// The scratch folders of a world, with a trailing backslash at its root.
class World : public ScratchFolders {
 public:
  std::string Root() const { return root + "\\"; }
  std::string AppData() const { return appData; }
  std::string ProgramData() const { return programData; }
  std::string Temp() const { return temp; }
  std::string UserDataDir() const { return AppData() + "\\zelGuard"; }
  std::string ProductDataDir() const { return ProgramData() + "\\zelGuard\\"; }
  std::string ConfigPath() const { return UserDataDir() + "\\config.dat"; }
  // The product folder (its name has a blank), with a trailing backslash.
  std::string ProductDir() const { return Root() + "Zel Guard\\"; }

  // Makes a product folder (ProductDir() unless named) with the updater, its zlib1.dll
  // and the given files, each copied from the test program's folder: name in the folder -> built file.
  // The files may name another build of "zelpatcher.exe". The updater's path, "" when a
  // copy failed. One instance runs per program file, so a world that starts the updater
  // starts its own copy: worlds run side by side.
  std::string InstallProduct(const std::map<std::string, std::string>& files = {},
                             std::string folder = "") const;

  // Starts program with the arguments (the command line is the quoted program, a
  // blank and the arguments), with administrator rights unless not elevated (see
  // StartLimited). The program inherits this process's environment with the world's
  // folders in it.
  Child Start(const std::string& program, const std::string& arguments, bool elevated = true) const;
};

// Starts a command line with the limited token linked to this process's token, so
// the program sees itself as not elevated, as a standard user's program does (Wine
// gives every process an elevated token whose linked token is the limited one).
// An empty Child when the token or the start fails.
Child StartLimited(std::wstring commandLine);

// How many processes of this file name ("zelupdatepkg.exe", any letter case) run.
int ProcessesNamed(const std::string& fileName);
// Ends every process whose image file is path (any letter case), or with onlyLook just
// tells whether one runs; true when one was found.
bool KillImage(const std::string& path, bool onlyLook = false);

// Texts of windows, as the user sees them.
std::wstring WindowText(HWND window);
// The text of the window's status box, asked of its process as the user sees it.
std::wstring StatusText(HWND window);
HWND ChildOfClass(HWND parent, const wchar_t* className);

}  // namespace zel::test
