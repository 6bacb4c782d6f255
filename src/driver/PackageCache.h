// The package cache and the hand-over: a checking instance without full administrator
// rights keeps a verified package in the per-user product folder, records it in the
// section "UPDATE" of config.dat, and starts a copy of the program from the update
// work folder (the upgrading copy), which waits until the product's other processes
// have ended and runs the installer. A cache is valid only on the day it was filled
// and while its file matches its size and digest.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace zel {

class SettingsFile;

struct CachedPackage {
  bool valid = false;
  std::string cacheDate;         // date text of the day the package was cached
  std::int32_t packageSize = 0;  // bytes
  std::string packageHash;       // MD5 as hex digits
  std::string packageSha256;     // SHA-256 as hex digits (a program built with update keys)
  std::string packagePath;       // full path of the cached file
};

// The cached package file's name in the per-user product folder (and the downloaded
// package's name in the update work folder).
inline constexpr char kPackageName[] = "zelupdatepkg.exe";
inline constexpr char kProgramFileName[] = "zelpatcher.exe";

// "/upgrading /installpath "<folder>"": the upgrading copy's command line.
std::string UpgradingCopyArguments(const std::string& programFolder);
// "/verysilent /installpath "<folder>"": the package installer's command line.
std::string InstallerArguments(const std::string& installFolder);
// A digest matches the announced hash when it is not empty and both agree without
// regard to letter case.
bool DigestMatches(const std::string& digest, const std::string& hash);
// The record's size text as a 32-bit conversion reads it: a decimal number with
// blanks around, a fraction or an exponent allowed, rounded with halves to the even
// neighbour ("23.0" is 23); no value for any other text or beyond 32 bits.
std::optional<std::int32_t> CacheSizeOf(const std::string& text);

// The package cached today and still intact; anything else empties the cache (record
// reset, file deleted) and gives an invalid record. Windows build, as the rest.
CachedPackage GetCachedPackage(const SettingsFile& settings);
// Resets the record and deletes the cached file; failures of single steps are ignored.
void ClearPackageCache(const SettingsFile& settings, const std::string& packagePath);
// Writes the record of a package just copied into the cache (its SHA-256 only when
// the program was built with update keys).
void RecordCachedPackage(const SettingsFile& settings, std::int32_t size, const std::string& digest,
                         const std::string& sha256);
// Copies zelpatcher.exe of the program folder into the update work folder and starts
// the copy hidden with the upgrading copy's command line; true when it started. A
// copy there whose start was cut off holds its file and no installing marker: it is
// ended first.
bool LaunchUpgradingCopy(const std::string& programFolder);
// The upgrading copy's work: holds "zelinstalling", waits (60 one-second polls) until
// no other marker remains, runs the installer and waits for it at most three minutes,
// then empties the cache. Gives up, leaving the cache, when other markers stay. With
// update keys, the file is checked against its record once more right before the
// installer starts, and a changed one is not started.
void InstallCachedPackage(const SettingsFile& settings, const CachedPackage& cached, const std::string& folder);

}  // namespace zel
