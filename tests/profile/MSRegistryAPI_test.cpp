#include "profile/MSRegistryAPI.h"

#include "ProfileTestSupport.h"

namespace zel {
namespace {

using RegistryAccess = testing::RegistrySandbox;

constexpr const char* kKey = "Software\\ZelSample";

TEST_F(RegistryAccess, ReadsTextsUnexpandedAndDwordsSigned) {
  SetText(HKEY_CURRENT_USER, kKey, "", "default");
  SetText(HKEY_CURRENT_USER, kKey, "Chinese", "\xE4\xB8\xAD\xE6\x96\x87");  // 中文, stored as GBK
  SetText(HKEY_CURRENT_USER, kKey, "Expand", "%WINDIR%\\x", REG_EXPAND_SZ);
  SetDword(HKEY_CURRENT_USER, kKey, "Dword", 0x80000001u);

  const auto read = [](const std::string& name) {
    RegValue value;
    LONG status = -2;
    RegReadValue(HKEY_CURRENT_USER, kKey, name, value, status);
    EXPECT_EQ(status, ERROR_SUCCESS) << name;
    return value;
  };
  EXPECT_EQ(read(""), RegValue(std::string("default")));
  EXPECT_EQ(read("Chinese"), RegValue(std::string("\xE4\xB8\xAD\xE6\x96\x87")));
  EXPECT_EQ(read("Expand"), RegValue(std::string("%WINDIR%\\x")));
  EXPECT_EQ(read("Dword"), RegValue(std::int32_t(-2147483647)));
}

TEST_F(RegistryAccess, FailedReadsLeaveTheCallersValue) {
  SetText(HKEY_CURRENT_USER, kKey, "Present", "x");
  const RegValue kept = std::string("caller's");

  RegValue value = kept;
  LONG status = 0;
  RegReadValue(HKEY_CURRENT_USER, kKey, "Absent", value, status);
  EXPECT_EQ(status, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(value, kept);

  RegReadValue(HKEY_CURRENT_USER, "Software\\ZelNoSuchKey", "Present", value, status);
  EXPECT_EQ(status, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(value, kept);
}

TEST_F(RegistryAccess, OtherTypesGiveMinusOneAndAreNotRead) {
  const BYTE binary[] = {1, 2, 3};
  const char multi[] = "a\0b\0";
  const ULONGLONG qword = 5;
  SetRaw(HKEY_CURRENT_USER, kKey, "Binary", REG_BINARY, binary, sizeof binary);
  SetRaw(HKEY_CURRENT_USER, kKey, "Multi", REG_MULTI_SZ, multi, sizeof multi);
  SetRaw(HKEY_CURRENT_USER, kKey, "Qword", REG_QWORD, &qword, sizeof qword);
  for (const char* name : {"Binary", "Multi", "Qword"}) {
    RegValue value = std::int32_t(7);
    LONG status = 0;
    RegReadValue(HKEY_CURRENT_USER, kKey, name, value, status);
    EXPECT_EQ(status, kRegUnsupportedType) << name;
    EXPECT_EQ(value, RegValue(std::int32_t(7))) << name;
  }
}

TEST_F(RegistryAccess, TextsEndAtTheirFirstNulOrWithTheirData) {
  SetRaw(HKEY_CURRENT_USER, kKey, "Unterminated", REG_SZ, "abc", 3);
  SetRaw(HKEY_CURRENT_USER, kKey, "Embedded", REG_SZ, "ab\0cd", 6);
  HKEY key = CreateKey(HKEY_CURRENT_USER, kKey);
  RegValue value;
  EXPECT_EQ(RegQueryKeyValue(key, "Unterminated", value), ERROR_SUCCESS);
  EXPECT_EQ(value, RegValue(std::string("abc")));
  EXPECT_EQ(RegQueryKeyValue(key, "Embedded", value), ERROR_SUCCESS);
  EXPECT_EQ(value, RegValue(std::string("ab")));
  RegCloseKey(key);
}

TEST_F(RegistryAccess, EnumeratesSubKeyNamesAndCountsThem) {
  RegCloseKey(CreateKey(HKEY_CURRENT_USER, std::string(kKey) + "\\Alpha\\Inner"));
  RegCloseKey(CreateKey(HKEY_CURRENT_USER, std::string(kKey) + "\\Beta"));
  RegCloseKey(CreateKey(HKEY_CURRENT_USER, std::string(kKey) + "\\\xE4\xB8\xAD"));  // 中

  long count = -1;
  EXPECT_EQ(RegEnumSubKeys(HKEY_CURRENT_USER, kKey, count),
            (std::vector<std::string>{"Alpha", "Beta", "\xE4\xB8\xAD"}));
  EXPECT_EQ(count, 3);

  count = -1;
  EXPECT_TRUE(RegEnumSubKeys(HKEY_CURRENT_USER, std::string(kKey) + "\\Beta", count).empty());
  EXPECT_EQ(count, 0);
  count = -1;
  EXPECT_TRUE(RegEnumSubKeys(HKEY_CURRENT_USER, "Software\\ZelNoSuchKey", count).empty());
  EXPECT_EQ(count, 0);
}

}  // namespace
}  // namespace zel
