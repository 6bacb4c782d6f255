// A private registry for Windows tests.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "support/ScratchFolders_win.h"
#include "system/Text_win.h"

namespace zel::test {

// While a test runs, HKEY_CURRENT_USER and HKEY_CLASSES_ROOT of this process are
// fresh keys of its own: tests write associations and add-ins without touching the
// prefix or each other (they run in parallel processes).
class RegistrySandbox : public ::testing::Test {
 protected:
  void SetUp() override {
    // A key left by an ended process of the same id (Wine reuses them) starts empty.
    RegDeleteTreeA(HKEY_CURRENT_USER, root_.c_str());
    for (auto [predefined, name] : {std::pair{HKEY_CURRENT_USER, "\\HKCU"}, {HKEY_CLASSES_ROOT, "\\HKCR"}}) {
      HKEY key = nullptr;
      ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, (root_ + name).c_str(), &key), ERROR_SUCCESS);
      ASSERT_EQ(RegOverridePredefKey(predefined, key), ERROR_SUCCESS);
      RegCloseKey(key);
    }
  }
  void TearDown() override {
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    EXPECT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, root_.c_str()), ERROR_SUCCESS);
  }
  // Writes a value, creating its key: a text goes in the ANSI code page.
  static void Set(HKEY root, const std::string& path, const std::string& name, const std::string& text) {
    const std::string ansi = ToAnsi(text);
    EXPECT_EQ(RegSetKeyValueA(root, ToAnsi(path).c_str(), ToAnsi(name).c_str(), REG_SZ, ansi.c_str(),
                              static_cast<DWORD>(ansi.size() + 1)),
              ERROR_SUCCESS);
  }
  static void Set(HKEY root, const std::string& path, const std::string& name, DWORD value) {
    EXPECT_EQ(
        RegSetKeyValueA(root, ToAnsi(path).c_str(), ToAnsi(name).c_str(), REG_DWORD, &value, sizeof value),
        ERROR_SUCCESS);
  }

 private:
  const std::string root_ = "Software\\ZelProfileTest-" + std::to_string(GetCurrentProcessId());
};

}  // namespace zel::test
