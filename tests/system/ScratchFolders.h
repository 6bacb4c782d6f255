// Windows test helpers: fresh TEMP, AppData and ProgramData folders for one test (so
// tests never touch the prefix's real folders and can run side by side), and plain
// file access that goes around the code under test.
#pragma once
#include <windows.h>

#include <atomic>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "system/TextWin.h"
#include "system/UniqueHandle.h"

namespace zel::test {

inline std::optional<std::string> GetEnv(const char* name) {
  char value[32768];
  const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
  if (length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
  return std::string(value, length);
}

// nullopt removes the variable.
inline void SetEnv(const char* name, const std::optional<std::string>& value) {
  SetEnvironmentVariableA(name, value ? value->c_str() : nullptr);
}

inline bool PathExists(const std::string& path) {
  return GetFileAttributesW(Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline bool IsFolder(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

inline void MakeFolder(const std::string& path) { CreateDirectoryW(Widen(path).c_str(), nullptr); }

inline bool WriteBytes(const std::string& path, const std::string& bytes) {
  UniqueFile file(CreateFileW(Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  return file && WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

// Reads also a file held open by a marker holder (which shares reading and writing,
// and holds delete access).
inline std::optional<std::string> ReadBytes(const std::string& path) {
  UniqueFile file(CreateFileW(Widen(path).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              0, nullptr));
  if (!file) return std::nullopt;
  std::string bytes(GetFileSize(file.Get(), nullptr), '\0');
  DWORD read = 0;
  if (!bytes.empty() && !ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr))
    return std::nullopt;
  bytes.resize(read);
  return bytes;
}

// Points TEMP, AppData and ProgramData at new empty folders for the fixture's life;
// afterwards the variables get their old values back and the folders are removed.
class ScratchFolders {
 public:
  ScratchFolders() {
    static std::atomic<int> counter{0};
    const std::optional<std::string> temp = GetEnv("TEMP");
    root = (temp ? *temp : std::string("C:\\windows\\temp")) + "\\zeltest-" +
           std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter++);
    MakeFolder(root);
    this->temp = Sub("temp");
    appData = Sub("appdata");
    programData = Sub("programdata");
    Point("TEMP", this->temp);
    Point("AppData", appData);
    Point("ProgramData", programData);
  }
  ~ScratchFolders() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) SetEnv(it->first.c_str(), it->second);
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(Widen(root)), ignored);
  }
  ScratchFolders(const ScratchFolders&) = delete;
  ScratchFolders& operator=(const ScratchFolders&) = delete;

  // Sets a variable for the fixture's life (nullopt removes it).
  void Point(const char* name, const std::optional<std::string>& value) {
    saved_.emplace_back(name, GetEnv(name));
    SetEnv(name, value);
  }

  // Folders without trailing backslash.
  std::string root, temp, appData, programData;

 private:
  std::string Sub(const char* name) {
    std::string path = root + "\\" + name;
    MakeFolder(path);
    return path;
  }
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

}  // namespace zel::test
