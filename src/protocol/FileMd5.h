// FileMd5: the digest of a whole file through the system's crypto provider, as
// upper-case hex text (32 characters for MD5). The file is streamed through one
// 32768-byte buffer, so files of any size are hashed in constant memory. Windows only.
#pragma once
#include <cstdint>
#include <string>

namespace zel {

inline constexpr std::uint32_t kCalgMd5 = 0x8003;  // CALG_MD5: what every caller passes

// The empty text when no digest was made: no file at path, a file that cannot be
// opened for reading, no provider or hash object, a failed read or hashing step.
std::string FileMd5(const std::string& path, std::uint32_t algorithm);

}  // namespace zel
