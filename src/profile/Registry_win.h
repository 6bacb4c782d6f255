// Read-only registry access through the ANSI calls: key paths, value names and
// value texts cross in the system's ANSI code page; no registry view flag is given.
// Every read reports a status: 0 for success, the system's error code, or -1 for a
// value type that is not read (binary, multi-string, 64-bit number and the rest).
#pragma once
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "profile/Registry.h"

namespace zel {

constexpr LONG kRegUnsupportedType = -1;

// Reads one value of an open key. When the value cannot be found the variant stays
// as the caller passed it; when a text value then fails to read it becomes empty.
LONG RegQueryKeyValue(HKEY key, const std::string& valueName, RegValue& value);
// Opens root\keyPath for querying and reads one value ("" is the key's default
// value). status is the open's error, or the read's status.
void RegReadValue(HKEY root, const std::string& keyPath, const std::string& valueName, RegValue& value,
                  LONG& status);
// RegReadValue for callers that need only the value of a successful read.
std::optional<RegValue> RegTryReadValue(HKEY root, const std::string& keyPath, const std::string& valueName);
// Names of the sub-keys of root\keyPath in enumeration order; count = their number.
// A key that cannot be opened gives no names.
std::vector<std::string> RegEnumSubKeys(HKEY root, const std::string& keyPath, long& count);

}  // namespace zel
