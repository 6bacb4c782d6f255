// Registry reads against a private registry: what each value type reads as, and what
// a failed read leaves in the caller's value.
#include "profile/Registry_win.h"

#include <string_view>

#include "support/RegistrySandbox_win.h"

namespace zel {
namespace {

using namespace std::string_literals;
using RegistryAccess = test::RegistrySandbox;
const char kKey[] = "Software\\Zel\\Values";

// Stores the bytes as they are, under the type given.
void Store(const char* name, DWORD type, std::string_view bytes) {
  EXPECT_EQ(
      RegSetKeyValueA(HKEY_CURRENT_USER, kKey, name, type, bytes.data(), static_cast<DWORD>(bytes.size())),
      ERROR_SUCCESS);
}

TEST_F(RegistryAccess, ValuesReadAsTheirTypeAndAFailedReadKeepsTheCallersValue) {
  Store("Expandable", REG_EXPAND_SZ, "%SystemRoot%\\zel.exe\0"s);
  // The system adds the NUL a caller forgot when the next byte is one; this one is not.
  Store("NoNul", REG_SZ, std::string_view("abc!", 3));
  Store("InnerNul", REG_SZ, "ab\0cd\0"s);
  Store("TopBit", REG_DWORD, "\x01\x00\x00\x80"s);
  Store("Binary", REG_BINARY, "abc\0"s);
  const RegValue kept = std::int32_t{7};
  const std::tuple<const char*, LONG, RegValue> cases[] = {
      {"Expandable", ERROR_SUCCESS, "%SystemRoot%\\zel.exe"s},  // not expanded
      {"NoNul", ERROR_SUCCESS, "abc"s},                         // the whole text
      {"InnerNul", ERROR_SUCCESS, "ab"s},
      {"TopBit", ERROR_SUCCESS, std::int32_t{-2147483647}},
      {"Binary", kRegUnsupportedType, kept},
      {"Missing", ERROR_FILE_NOT_FOUND, kept},  // the system's status, not the type's
  };
  for (const auto& [name, expectedStatus, expected] : cases) {
    RegValue value = kept;
    LONG status = 12345;
    RegReadValue(HKEY_CURRENT_USER, kKey, name, value, status);
    EXPECT_TRUE(status == expectedStatus && value == expected)
        << name << ": " << status << " " << RegValueText(value);
  }
  // A key with values but no sub-keys lists none, as a missing key does.
  for (const char* path : {kKey, "Software\\Zel\\Missing"}) {
    long count = 5;
    EXPECT_TRUE(RegEnumSubKeys(HKEY_CURRENT_USER, path, count).empty() && count == 0) << path;
  }
}

}  // namespace
}  // namespace zel
