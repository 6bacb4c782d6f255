// zlib1.dll ships beside the program and is loaded from there on first use, by full
// path: the upgrading copy runs from the work folder without it and must still start,
// and no zlib1.dll planted anywhere on the search path is ever loaded.
#include "system/ZlibLibrary_win.h"

#include <windows.h>

#include "system/UniqueHandle_win.h"

namespace zel {

Compress2Fn LoadCompress2From(const std::wstring& folder) {
  if (folder.empty()) return nullptr;
  std::wstring path = folder;
  if (path.back() != L'\\' && path.back() != L'/') path += L'\\';
  path += L"zlib1.dll";
  // LOAD_WITH_ALTERED_SEARCH_PATH: the library's own imports resolve beside it too.
  UniqueModule module(LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
  if (!module) return nullptr;
  const auto fn =
      reinterpret_cast<Compress2Fn>(reinterpret_cast<void*>(GetProcAddress(module.Get(), "compress2")));
  if (fn) module.Release();  // kept for the process's life: the pointer stays valid
  return fn;
}

}  // namespace zel
