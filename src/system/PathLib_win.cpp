// ClsPathLib's file operations: ANSI calls, every failure turned into the result.
#include <windows.h>
#include <shellapi.h>

#include "system/PathLib.h"
#include "system/Text_win.h"
#include "system/UniqueHandle_win.h"

namespace zel {
namespace {

DWORD Attributes(const std::string& path) { return GetFileAttributesA(ToAnsi(path).c_str()); }

// True when a listing that shows hidden files (but neither system files nor folders)
// finds the path.
bool ListedIncludingHidden(const std::string& path) {
  WIN32_FIND_DATAA entry;
  UniqueFind find(FindFirstFileA(ToAnsi(path).c_str(), &entry));
  if (!find) return false;
  do {
    if ((entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_SYSTEM)) == 0) return true;
  } while (FindNextFileA(find.Get(), &entry));
  return false;
}

// A path as the shell's file operations take it: ANSI, ended by two NULs.
std::string ShellPathList(const std::string& path) { return ToAnsi(path) + '\0' + '\0'; }

}  // namespace

bool ClsPathLib::IsDir(const std::string& path) const {
  const DWORD attributes = Attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool ClsPathLib::IsFile(const std::string& path) const {
  const DWORD attributes = Attributes(path);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return false;
  // A listing of normal files sees a subset of what the one with hidden files sees.
  return ListedIncludingHidden(path);
}

bool ClsPathLib::DelFile(const std::string& path) const {
  return IsFile(path) && DeleteFileA(ToAnsi(path).c_str()) != FALSE;
}

bool ClsPathLib::MyCopyFile(const std::string& srcPath, const std::string& destPath, bool overWrite) const {
  if (overWrite) DelFile(destPath);
  return CopyFileA(ToAnsi(srcPath).c_str(), ToAnsi(destPath).c_str(), overWrite ? FALSE : TRUE) != FALSE;
}

bool ClsPathLib::RenameFile(const std::string& srcPath, const std::string& desPath, bool overWrite) const {
  if (IsFile(desPath)) {
    if (!overWrite) return false;
    DeleteFileA(ToAnsi(desPath).c_str());
  }
  if (LowerText(SplitPath(srcPath).folder) != LowerText(SplitPath(desPath).folder))
    return MoveFileExA(ToAnsi(srcPath).c_str(), ToAnsi(desPath).c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
  const std::string from = ShellPathList(srcPath), to = ShellPathList(desPath);
  SHFILEOPSTRUCTA operation{};
  operation.wFunc = FO_RENAME;
  operation.pFrom = from.c_str();
  operation.pTo = to.c_str();
  operation.fFlags = FOF_NOCONFIRMATION;
  return SHFileOperationA(&operation) == 0;
}

bool ClsPathLib::DeleteFolder(const std::string& folder, bool withInterface) const {
  std::string path = folder;
  if (path.ends_with('\\')) path.pop_back();
  if (!IsDir(path)) return false;
  if (!SetFileAttributesA(ToAnsi(path).c_str(), FILE_ATTRIBUTE_NORMAL)) return false;
  const std::string from = ShellPathList(path);
  SHFILEOPSTRUCTA operation{};
  operation.wFunc = FO_DELETE;
  operation.pFrom = from.c_str();
  operation.fFlags = withInterface ? 0 : FOF_NOCONFIRMATION;
  return SHFileOperationA(&operation) == 0;
}

std::int32_t ClsPathLib::MyGetFileSize(const std::string& path) const {
  const std::string ansiPath = ToAnsi(path);
  UniqueFile file(
      CreateFileA(ansiPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
  if (file) return static_cast<std::int32_t>(GetFileSize(file.Get(), nullptr));
  // A file another program holds without sharing (a scanner looking at a download)
  // still has its size in the folder's entry.
  WIN32_FILE_ATTRIBUTE_DATA entry;
  if (GetLastError() != ERROR_SHARING_VIOLATION ||
      !GetFileAttributesExA(ansiPath.c_str(), GetFileExInfoStandard, &entry) ||
      (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return -1;
  return static_cast<std::int32_t>(entry.nFileSizeLow);
}

bool ClsPathLib::PathHasUnicode(const std::string& path) const {
  return HasBytesOutsidePrintableAscii(path, FromAnsi);
}

}  // namespace zel
