#include <windows.h>
#include <wincrypt.h>

#include <array>

#include "protocol/FileMd5.h"
#include "system/Guarded.h"
#include "system/Platform.h"
#include "system/Text_win.h"
#include "system/UniqueHandle_win.h"

namespace zel {
namespace {

constexpr DWORD kBlock = 32768;

struct CryptContextTraits {
  using Type = HCRYPTPROV;
  static Type Invalid() { return 0; }
  static void Close(Type h) { CryptReleaseContext(h, 0); }
};
struct CryptHashTraits {
  using Type = HCRYPTHASH;
  static Type Invalid() { return 0; }
  static void Close(Type h) { CryptDestroyHash(h); }
};

// Feeds `length` bytes of the file from its start to the hash, block by block; false
// at the first read or hashing failure (a file that shrank while being read included).
bool HashFile(HANDLE file, HCRYPTHASH hash, std::uint64_t length) {
  std::array<BYTE, kBlock> buffer;
  const std::uint64_t blocks = length / kBlock;
  const DWORD rest = static_cast<DWORD>(length - blocks * kBlock);
  const auto feed = [&](DWORD count) {
    DWORD read = 0;
    return ReadFile(file, buffer.data(), count, &read, nullptr) && read == count &&
           CryptHashData(hash, buffer.data(), count, 0);
  };
  for (std::uint64_t i = 0; i < blocks; ++i)
    if (!feed(kBlock)) return false;
  return rest == 0 || feed(rest);
}

std::string DigestHex(HCRYPTHASH hash) {
  DWORD size = 0;
  DWORD sizeLength = sizeof size;
  if (!CryptGetHashParam(hash, HP_HASHSIZE, reinterpret_cast<BYTE*>(&size), &sizeLength, 0) || size == 0)
    return {};
  std::string digest(size, '\0');
  if (!CryptGetHashParam(hash, HP_HASHVAL, reinterpret_cast<BYTE*>(digest.data()), &size, 0)) return {};
  constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (const char byte : digest.substr(0, size)) {
    const auto b = static_cast<unsigned char>(byte);
    hex += kDigits[b >> 4];
    hex += kDigits[b & 0xF];
    CurrentPlatform().PumpMessages();  // the window stays serviced while the text is made
  }
  return hex;
}

}  // namespace

std::string FileMd5(const std::string& path, std::uint32_t algorithm) {
  return Guarded("file digest", std::string(), [&]() -> std::string {
    const std::string ansiPath = ToAnsi(path);
    const DWORD attributes = GetFileAttributesA(ansiPath.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return {};

    UniqueHandle<CryptContextTraits> context;
    if (!CryptAcquireContextA(context.Put(), nullptr, nullptr, PROV_RSA_FULL, 0)) {
      if (GetLastError() != static_cast<DWORD>(NTE_BAD_KEYSET) ||
          !CryptAcquireContextA(context.Put(), nullptr, nullptr, PROV_RSA_FULL, CRYPT_NEWKEYSET))
        return {};
    }
    UniqueHandle<CryptHashTraits> hash;
    if (!CryptCreateHash(context.Get(), algorithm, 0, 0, hash.Put())) return {};

    // Others may go on reading, writing, renaming or deleting the file meanwhile; a
    // holder that allows no sharing keeps it from being opened at all.
    UniqueFile file(CreateFileA(ansiPath.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    LARGE_INTEGER length{};
    if (!file || !GetFileSizeEx(file.Get(), &length)) return {};
    const bool hashed = HashFile(file.Get(), hash.Get(), static_cast<std::uint64_t>(length.QuadPart));
    file.Reset();
    return hashed ? DigestHex(hash.Get()) : std::string();
  });
}

}  // namespace zel
