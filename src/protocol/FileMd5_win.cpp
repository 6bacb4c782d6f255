#include <array>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "protocol/AesProvider_win.h"
#include "protocol/FileMd5.h"
#include "system/DelayImports_win.h"
#include "system/Guarded.h"
#include "system/Platform.h"
#include "system/ScopeExit.h"
#include "system/Text_win.h"
#include "system/UniqueHandle_win.h"

namespace zel {
namespace {

constexpr DWORD kBlock = 32768;

struct OpenFile {
  UniqueFile handle;
  std::uint64_t length = 0;
};

// The file at path opened for reading, with its length; no value for a missing file,
// a folder, or a file that cannot be opened.
std::optional<OpenFile> OpenForHashing(const std::string& path) {
  const std::string ansiPath = ToAnsi(path);
  const DWORD attributes = GetFileAttributesA(ansiPath.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return std::nullopt;
  // Others may go on reading, writing, renaming or deleting the file meanwhile; a
  // holder that allows no sharing keeps it from being opened at all.
  OpenFile file{UniqueFile(CreateFileA(ansiPath.c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr))};
  LARGE_INTEGER length{};
  if (!file.handle || !GetFileSizeEx(file.handle.Get(), &length)) return std::nullopt;
  file.length = static_cast<std::uint64_t>(length.QuadPart);
  return file;
}

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

// Two digests from one read. The calling thread reads the blocks into a ring and makes
// the first digest; a second thread takes the blocks in the same order for the second
// digest. The SHA-256 costs about twice what the MD5 and the read cost together, so
// it goes to the second thread and sets the pace. The two threads meet only under the
// mutex: the second thread waits while the ring is empty, and the reader, once it
// found the ring full, until it is half empty; each is woken only when its wait can
// end, since a wake-up costs under Wine about as much as hashing a block.
class TwoDigestRead {
 public:
  TwoDigestRead(HANDLE file, std::uint64_t length)
      : file_(file), length_(length), blocks_((length + kRingBlock - 1) / kRingBlock) {}

  bool Run(HCRYPTHASH first, HCRYPTHASH second) {
    bool secondHashed = false;
    std::thread worker([&] { secondHashed = HashBlocks(second); });
    ScopeExit stop([&] {  // should this thread fail on its own, the other one is told so
      Publish([&] { return failed_ = true; });
      worker.join();
    });
    bool firstHashed = true;
    for (std::uint64_t i = 0; i < blocks_ && firstHashed; ++i) {
      {
        std::unique_lock lock(mutex_);
        if (i - hashed_ == kRingBlocks)
          changed_.wait(lock, [&] { return failed_ || i - hashed_ <= kRingBlocks / 2; });
        if (failed_) break;
      }
      DWORD read = 0;
      const DWORD size = BlockSize(i);
      firstHashed = ReadFile(file_, Slot(i), size, &read, nullptr) && read == size &&
                    CryptHashData(first, Slot(i), size, 0);
      Publish([&] {
        if (!firstHashed) return failed_ = true;
        return ++read_ - hashed_ == 1;  // the second thread may wait for this block
      });
    }
    stop.Release();
    worker.join();
    return firstHashed && secondHashed;
  }

 private:
  static constexpr DWORD kRingBlock = 65536;
  static constexpr std::uint64_t kRingBlocks = 16;

  bool HashBlocks(HCRYPTHASH hash) {
    for (std::uint64_t i = 0; i < blocks_; ++i) {
      {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return failed_ || read_ > i; });
        if (failed_) return false;
      }
      const bool hashed = CryptHashData(hash, Slot(i), BlockSize(i), 0);
      Publish([&] {
        if (!hashed) return failed_ = true;
        return read_ - ++hashed_ == kRingBlocks / 2;  // the reader may wait for this
      });
      if (!hashed) return false;
    }
    return true;
  }

  // Makes the change under the mutex; wakes the other thread when the change says so.
  template <typename Change>
  void Publish(Change change) {
    bool wake = false;
    {
      std::lock_guard lock(mutex_);
      wake = change();
    }
    if (wake) changed_.notify_all();
  }

  BYTE* Slot(std::uint64_t block) { return ring_.get() + (block % kRingBlocks) * kRingBlock; }
  DWORD BlockSize(std::uint64_t block) const {
    return static_cast<DWORD>(std::min<std::uint64_t>(kRingBlock, length_ - block * kRingBlock));
  }

  HANDLE file_;
  std::uint64_t length_;
  std::uint64_t blocks_;
  std::unique_ptr<BYTE[]> ring_ = std::make_unique<BYTE[]>(kRingBlock * kRingBlocks);
  std::mutex mutex_;
  std::condition_variable changed_;
  std::uint64_t read_ = 0;    // blocks read and in the first digest; guarded by mutex_
  std::uint64_t hashed_ = 0;  // blocks in the second digest; guarded by mutex_
  bool failed_ = false;       // guarded by mutex_
};

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
    std::optional<OpenFile> file = OpenForHashing(path);
    if (!file) return {};
    UniqueCryptContext context;
    if (!CryptAcquireContextA(context.Put(), nullptr, nullptr, PROV_RSA_FULL, 0)) {
      if (GetLastError() != static_cast<DWORD>(NTE_BAD_KEYSET) ||
          !CryptAcquireContextA(context.Put(), nullptr, nullptr, PROV_RSA_FULL, CRYPT_NEWKEYSET))
        return {};
    }
    UniqueCryptHash hash;
    if (!CryptCreateHash(context.Get(), algorithm, 0, 0, hash.Put())) return {};
    const bool hashed = HashFile(file->handle.Get(), hash.Get(), file->length);
    file->handle.Reset();
    return hashed ? DigestHex(hash.Get()) : std::string();
  });
}

FileDigests FileMd5AndSha256(const std::string& path) {
  return Guarded("file digests", FileDigests(), [&]() -> FileDigests {
    std::optional<OpenFile> file = OpenForHashing(path);
    if (!file) return {};
    const HCRYPTPROV provider = AesProvider();
    UniqueCryptHash md5, sha256;
    if (!provider || !CryptCreateHash(provider, CALG_MD5, 0, 0, md5.Put()) ||
        !CryptCreateHash(provider, CALG_SHA_256, 0, 0, sha256.Put()))
      return {};
    const bool hashed = TwoDigestRead(file->handle.Get(), file->length).Run(md5.Get(), sha256.Get());
    file->handle.Reset();
    if (!hashed) return {};
    FileDigests digests{DigestHex(md5.Get()), DigestHex(sha256.Get())};
    if (digests.md5.empty() || digests.sha256.empty()) return {};
    return digests;
  });
}

}  // namespace zel
