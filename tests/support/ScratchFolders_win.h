// Windows test helpers: fresh TEMP, AppData and ProgramData folders for one test (so
// tests never touch the prefix's real folders and can run side by side), plain file
// access that goes around the code under test, and copies of the programs built beside
// the tests.
#pragma once
#include <windows.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "system/Folders.h"
#include "system/Text_win.h"
#include "system/UniqueHandle_win.h"

namespace zel::test {

inline std::filesystem::path PathOf(const std::string& utf8) { return std::filesystem::path(Widen(utf8)); }
inline bool PathExists(const std::string& path) { return std::filesystem::exists(PathOf(path)); }
inline bool WriteBytes(const std::string& path, const std::string& bytes) {
  return static_cast<bool>(std::ofstream(PathOf(path), std::ios::binary) << bytes);
}
// Reads also a file that a marker holder keeps open (with delete access); "" when
// there is none.
inline std::string ReadBytes(const std::string& path) {
  UniqueFile file(CreateFileW(Widen(path).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              0, nullptr));
  std::string bytes(file ? GetFileSize(file.Get(), nullptr) : 0, '\0');
  DWORD read = 0;
  if (!bytes.empty()) ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
  return bytes.substr(0, read);
}

inline std::optional<std::string> GetEnv(const char* name) {
  char value[32768];
  const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
  if (length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
  return std::string(value, length);
}

// Copies a program built beside the tests to path, making its folders; the path.
inline std::string CopyProgram(const std::string& program, const std::string& path) {
  std::filesystem::create_directories(PathOf(path).parent_path());
  std::filesystem::copy_file(PathOf(GetAppDir() + program), PathOf(path));
  return path;
}

// Points TEMP (and TMP, which the system's temporary path reads first), AppData and
// ProgramData at new empty folders (without trailing backslash) for the fixture's life;
// afterwards the variables get their old values back and the folders are removed.
class ScratchFolders {
 public:
  ScratchFolders() {
    // The root is a new empty folder "zeltest-<process id>-<n>" in TEMP. Wine hands out the
    // ids of ended processes again, and a folder that an earlier process could not remove
    // (a program it started still held a file) must not pass for a fresh one, so the name
    // is taken only by creating it.
    static std::atomic<int> serial{0};
    const std::string parent = GetEnv("TEMP").value_or("C:\\windows\\temp");
    CreateDirectoryW(Widen(parent).c_str(), nullptr);
    do root = parent + "\\zeltest-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(serial++);
    while (!CreateDirectoryW(Widen(root).c_str(), nullptr) && GetLastError() == ERROR_ALREADY_EXISTS);
    for (auto [name, folder] :
         {std::pair{"TEMP", &temp}, {"AppData", &appData}, {"ProgramData", &programData}}) {
      *folder = root + "\\" + name;
      std::filesystem::create_directories(PathOf(*folder));
      Point(name, *folder);
    }
    Point("TMP", temp);
  }
  ~ScratchFolders() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it)
      SetEnvironmentVariableA(it->first.c_str(), it->second ? it->second->c_str() : nullptr);
    std::error_code ignored;
    std::filesystem::remove_all(PathOf(root), ignored);
  }
  ScratchFolders(const ScratchFolders&) = delete;
  ScratchFolders& operator=(const ScratchFolders&) = delete;

  // Sets a variable for the fixture's life (nullopt removes it).
  void Point(const char* name, const std::optional<std::string>& value) {
    saved_.emplace_back(name, GetEnv(name));
    SetEnvironmentVariableA(name, value ? value->c_str() : nullptr);
  }

  std::string root, temp, appData, programData;

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

}  // namespace zel::test
