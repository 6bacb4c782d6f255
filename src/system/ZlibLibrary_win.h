// Where the Windows build finds zlib: zlib1.dll in a given folder, by full path.
#pragma once
#include <string>

#include "system/Platform.h"

namespace zel {

// compress2 of folder\zlib1.dll (the folder with or without a trailing backslash), or
// null when that file cannot be loaded. Never consults the DLL search order. The
// library stays loaded for the life of the process.
Compress2Fn LoadCompress2From(const std::wstring& folder);

}  // namespace zel
