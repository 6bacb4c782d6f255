// The version of an executable file, from the fixed part of its version resource.
#pragma once
#include <string>

namespace zel {

// "0.0.0": no version is known.
inline constexpr const char* kNoVersion = "0.0.0";

// major.minor.build of the file version, where build is the last of the four
// components (16.0.17328.20124 gives 16.0.20124), each unsigned decimal; kNoVersion
// for a missing file, a folder, or a file without a readable version resource.
std::string GetFileVersion(const std::string& path);

}  // namespace zel
