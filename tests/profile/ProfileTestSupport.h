// What the Windows profile tests share: a private registry and a scratch folder.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>

#include "system/TextWin.h"

namespace zel::testing {

// While a test runs, HKEY_CURRENT_USER and HKEY_CLASSES_ROOT of this process are
// fresh keys of its own: tests write associations and add-ins without touching the
// prefix or each other (they run in parallel processes).
class RegistrySandbox : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = "Software\\ZelProfileTest-" + std::to_string(GetCurrentProcessId());
    for (auto [predefined, name] : {std::pair{HKEY_CURRENT_USER, "\\HKCU"}, {HKEY_CLASSES_ROOT, "\\HKCR"}}) {
      HKEY key = CreateKey(HKEY_CURRENT_USER, root_ + name);
      ASSERT_EQ(RegOverridePredefKey(predefined, key), ERROR_SUCCESS);
      RegCloseKey(key);
    }
  }
  void TearDown() override {
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    EXPECT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, root_.c_str()), ERROR_SUCCESS);
  }

  static HKEY CreateKey(HKEY root, const std::string& path) {
    HKEY key = nullptr;
    EXPECT_EQ(
        RegCreateKeyExA(root, ToAnsi(path).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
        ERROR_SUCCESS)
        << path;
    return key;
  }
  static void SetRaw(HKEY root, const std::string& path, const std::string& name, DWORD type,
                     const void* data, DWORD size) {
    HKEY key = CreateKey(root, path);
    EXPECT_EQ(RegSetValueExA(key, ToAnsi(name).c_str(), 0, type, static_cast<const BYTE*>(data), size),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
  // A text in the ANSI code page, with its terminating NUL.
  static void SetText(HKEY root, const std::string& path, const std::string& name, const std::string& text,
                      DWORD type = REG_SZ) {
    const std::string ansi = ToAnsi(text);
    SetRaw(root, path, name, type, ansi.c_str(), static_cast<DWORD>(ansi.size() + 1));
  }
  static void SetDword(HKEY root, const std::string& path, const std::string& name, DWORD value) {
    SetRaw(root, path, name, REG_DWORD, &value, sizeof value);
  }

 private:
  std::string root_;
};

// A fresh folder under TEMP, removed with its contents at the end. Paths are UTF-8.
class ScratchFolder {
 public:
  ScratchFolder() : path_(std::filesystem::temp_directory_path() / Unique()) {
    std::filesystem::create_directories(path_);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::string Path(const std::string& relative) const { return Narrow((path_ / Widen(relative)).wstring()); }
  // Copies a program built beside the tests into the folder under a new name.
  std::string CopyBeside(const std::string& program, const std::string& relative) const {
    const std::filesystem::path target = path_ / Widen(relative);
    std::filesystem::create_directories(target.parent_path());
    std::filesystem::copy_file(Widen(BesideTests(program)), target);
    return Narrow(target.wstring());
  }
  static std::string BesideTests(const std::string& name) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    return Narrow((std::filesystem::path(self).parent_path() / Widen(name)).wstring());
  }

 private:
  static std::wstring Unique() {
    static int serial = 0;
    return L"zel-profile-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++serial);
  }
  std::filesystem::path path_;
};

}  // namespace zel::testing
