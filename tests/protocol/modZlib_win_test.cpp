#include "protocol/modZlib_win.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace zel {
namespace {

std::wstring ExeFolder() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, n);
  return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

TEST(ZlibLibrary, LoadedByFullPathFromTheGivenFolderOnly) {
  const std::wstring exeFolder = ExeFolder();
  ASSERT_NE(GetFileAttributesW((exeFolder + L"zlib1.dll").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(LoadCompress2From(exeFolder), nullptr);
  EXPECT_NE(LoadCompress2From(exeFolder.substr(0, exeFolder.size() - 1)), nullptr);

  // The search order would find the copy in the current directory and the program
  // folder; a folder without the library must still give nothing.
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring empty = std::wstring(temp) + L"zel-no-zlib";
  CreateDirectoryW(empty.c_str(), nullptr);
  wchar_t previous[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, previous);
  SetCurrentDirectoryW(exeFolder.c_str());
  EXPECT_EQ(LoadCompress2From(empty), nullptr);
  EXPECT_EQ(LoadCompress2From(L""), nullptr);
  SetCurrentDirectoryW(previous);
  RemoveDirectoryW(empty.c_str());
}

TEST(ZlibLibrary, ProgramFolderCopyCompressesAtLevelSix) {
  ASSERT_NE(BuildCompress2(), nullptr);
  EXPECT_EQ(CompressText(std::string(80, 'a')), "789C4B4CA42E0000CC341E51");
}

}  // namespace
}  // namespace zel
