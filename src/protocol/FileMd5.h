// FileMd5: the digest of a whole file through the system's crypto provider, as
// upper-case hex text (32 characters for MD5). The file is streamed through one
// 32768-byte buffer, so files of any size are hashed in constant memory. Windows only.
// FileMd5AndSha256 makes both digests of a package from one read of it.
#pragma once
#include <cstdint>
#include <string>

namespace zel {

inline constexpr std::uint32_t kCalgMd5 = 0x8003;  // CALG_MD5: what every caller passes

// The empty text when no digest was made: no file at path, a file that cannot be
// opened for reading, no provider or hash object, a failed read or hashing step.
std::string FileMd5(const std::string& path, std::uint32_t algorithm);

// Upper-case hex, 32 and 64 characters; both empty when either digest could not be
// made, for the same causes as above. The file is read once, through a ring of 1 MiB,
// and the SHA-256 is made on a second thread while the MD5 is made on the caller's.
struct FileDigests {
  std::string md5;
  std::string sha256;
};
FileDigests FileMd5AndSha256(const std::string& path);

}  // namespace zel
