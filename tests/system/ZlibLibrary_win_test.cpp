#include "system/ZlibLibrary_win.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace zel {

TEST(ZlibLibrary, LoadedByFullPathFromTheProgramFolderOnly) {
  wchar_t path[MAX_PATH], previous[MAX_PATH];
  const std::wstring exe(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
  const std::wstring folder = exe.substr(0, exe.find_last_of(L'\\') + 1);
  EXPECT_TRUE(LoadCompress2From(folder) && LoadCompress2From(folder.substr(0, folder.size() - 1)));

  // The search order would find the copy in the current directory and the program
  // folder; a folder without the library must still give nothing.
  GetCurrentDirectoryW(MAX_PATH, previous);
  SetCurrentDirectoryW(folder.c_str());
  EXPECT_FALSE(LoadCompress2From(folder + L"no-such-folder") || LoadCompress2From(L""));
  SetCurrentDirectoryW(previous);
}

}  // namespace zel
