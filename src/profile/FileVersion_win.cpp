#include "profile/FileVersion.h"

#include <windows.h>

#include <vector>

#include "system/FileListing.h"
#include "system/Text_win.h"

namespace zel {

std::string GetFileVersion(const std::string& path) {
  // Only a normal file counts: a hidden or system executable has no version here.
  if (!NormalFileListed(path)) return kNoVersion;
  const std::string ansiPath = ToAnsi(path);

  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(ansiPath.c_str(), &ignored);
  if (size <= 1) return kNoVersion;
  std::vector<BYTE> info(size);
  if (!GetFileVersionInfoA(ansiPath.c_str(), 0, size, info.data())) return kNoVersion;

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixedLength = 0;
  char root[] = "\\";
  if (!VerQueryValueA(info.data(), root, reinterpret_cast<void**>(&fixed), &fixedLength) || !fixed ||
      fixedLength < sizeof(VS_FIXEDFILEINFO))
    return kNoVersion;

  return std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
         std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
         std::to_string(LOWORD(fixed->dwFileVersionLS));
}

}  // namespace zel
