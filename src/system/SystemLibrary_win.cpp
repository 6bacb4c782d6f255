#include "system/SystemLibrary_win.h"

#include <string>

namespace zel {

HMODULE SystemLibrary(const wchar_t* name) {
  // Loaded already (kernel32, or by an earlier call): no second reference.
  wchar_t folder[MAX_PATH];
  const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  const std::wstring path = std::wstring(folder, length) + L"\\" + name;
  if (const HMODULE loaded = GetModuleHandleW(path.c_str())) return loaded;
  return LoadLibraryW(path.c_str());
}

}  // namespace zel
