#include "profile/Registry_win.h"

#include <algorithm>

#include "system/Text_win.h"
#include "system/UniqueHandle_win.h"

namespace zel {

LONG RegQueryKeyValue(HKEY key, const std::string& valueName, RegValue& value) {
  const std::string name = ToAnsi(valueName);
  DWORD type = REG_NONE;
  DWORD size = 0;
  LONG status = RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size);
  if (status != ERROR_SUCCESS) return status;

  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
      std::string data(size, '\0');
      status =
          RegQueryValueExA(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()), &size);
      if (status != ERROR_SUCCESS) {
        value = std::monostate{};
        return status;
      }
      // Stored data need not end in a NUL; then the whole text is the value.
      data.resize(std::min<std::size_t>(size, data.size()));
      if (const auto nul = data.find('\0'); nul != std::string::npos) data.resize(nul);
      value = FromAnsi(data);
      return ERROR_SUCCESS;
    }
    case REG_DWORD: {
      DWORD number = 0;
      size = sizeof number;
      status = RegQueryValueExA(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&number), &size);
      if (status == ERROR_SUCCESS) value = static_cast<std::int32_t>(number);
      return status;
    }
    default:
      return kRegUnsupportedType;
  }
}

void RegReadValue(HKEY root, const std::string& keyPath, const std::string& valueName, RegValue& value,
                  LONG& status) {
  UniqueRegKey key;
  status = RegOpenKeyExA(root, ToAnsi(keyPath).c_str(), 0, KEY_QUERY_VALUE, key.Put());
  if (status == ERROR_SUCCESS) status = RegQueryKeyValue(key.Get(), valueName, value);
}

std::optional<RegValue> RegTryReadValue(HKEY root, const std::string& keyPath, const std::string& valueName) {
  RegValue value;
  LONG status = ERROR_SUCCESS;
  RegReadValue(root, keyPath, valueName, value, status);
  if (status != ERROR_SUCCESS) return std::nullopt;
  return value;
}

std::vector<std::string> RegEnumSubKeys(HKEY root, const std::string& keyPath, long& count) {
  std::vector<std::string> names;
  count = 0;
  UniqueRegKey key;
  if (RegOpenKeyExA(root, ToAnsi(keyPath).c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS) return names;

  constexpr DWORD kBufferChars = 2048;
  std::string name(kBufferChars, '\0');
  std::string className(kBufferChars, '\0');
  for (DWORD index = 0;; ++index) {
    DWORD nameLength = kBufferChars;
    DWORD classLength = kBufferChars;
    // Any error, normally the end of the list, ends the list.
    if (RegEnumKeyExA(key.Get(), index, name.data(), &nameLength, nullptr, className.data(), &classLength,
                      nullptr) != ERROR_SUCCESS)
      break;
    names.push_back(FromAnsi(std::string_view(name.data(), nameLength)));
  }
  count = static_cast<long>(names.size());
  return names;
}

}  // namespace zel
