#include "system/FileListing.h"

#include <windows.h>

#include "system/Text_win.h"
#include "system/UniqueHandle_win.h"

namespace zel {
namespace {

constexpr DWORD kNeverListed = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

bool IsDotEntry(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// Calls `take` with every entry matching `pattern` that the listing shows, until it returns false.
template <typename Take>
void List(const std::string& pattern, bool withFolders, Take take) {
  WIN32_FIND_DATAA entry;
  UniqueFind find(FindFirstFileA(ToAnsi(pattern).c_str(), &entry));
  if (!find) return;
  do {
    DWORD hide = kNeverListed;
    if (!withFolders) hide |= FILE_ATTRIBUTE_DIRECTORY;
    if ((entry.dwFileAttributes & hide) != 0 || IsDotEntry(entry.cFileName)) continue;
    if (!take(entry)) return;
  } while (FindNextFileA(find.Get(), &entry));
}

bool Listed(const std::string& path, bool withFolders) {
  bool found = false;
  List(path, withFolders, [&](const WIN32_FIND_DATAA&) {
    found = true;
    return false;
  });
  return found;
}

}  // namespace

std::vector<std::string> ListNormalFiles(const std::string& pattern) {
  std::vector<std::string> names;
  List(pattern, false, [&](const WIN32_FIND_DATAA& entry) {
    names.push_back(FromAnsi(entry.cFileName));
    return true;
  });
  return names;
}

bool NormalFileListed(const std::string& path) { return Listed(path, false); }

bool ListedWithFolders(const std::string& path) { return Listed(path, true); }

bool CreateFolderIfMissing(const std::string& folder) {
  if (ListedWithFolders(folder)) return true;
  // A hidden or system folder of that name is not listed, so it counts as missing,
  // and creating it fails because the name is taken.
  if (CreateDirectoryA(ToAnsi(folder).c_str(), nullptr)) return true;
  // Two of the product's programs starting together both see the folder missing and
  // one of them loses the creation: the folder it wanted is there now all the same.
  return ListedWithFolders(folder);
}

}  // namespace zel
