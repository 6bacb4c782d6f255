// The catalog: the packages a vendor offers, which one is the latest, and the
// policy that decides when clients are asked for their full profile or moved to
// another service address. Kept as one JSON file, rewritten whole on every change.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zel::svc {

struct PackageEntry {
  std::string version;  // dotted decimal, e.g. 2.1.0
  std::string url;      // where clients fetch it (sent to them as hex of UTF-8)
  std::int64_t size = 0;
  std::string md5;         // 32 hex digits
  bool reinstall = false;  // this version needs a fresh installation with administrator rights
  std::string published;   // UTC time of the last publish, ISO 8601
  std::string sha256;      // 64 upper-case hex digits; empty in entries published before it was kept
};

struct Policy {
  bool wantFullProfile = false;  // every query with the short profile gets action 32
  int fullProfileEveryDays = 0;  // > 0: action 32 when an installation sent no full profile for this long
  std::string updateUrl;         // non-empty: every answer moves clients to this address
};

struct Catalog {
  std::string latest;                  // version offered to older clients; empty offers nothing
  std::vector<PackageEntry> packages;  // sorted by version
  Policy policy;

  const PackageEntry* Find(std::string_view version) const;
};

// Dotted decimal versions: one or more runs of digits joined by ".".
bool IsVersionText(std::string_view text);
// Numeric comparison, component by component; missing components count as 0, so
// 2.1 equals 2.1.0. Both arguments must be version texts.
int CompareVersions(std::string_view a, std::string_view b);

// What is wrong with an entry (version text, URL as CheckPackageUrl wants it, size 1
// to 2147483647, which the program reads as a 32-bit integer, MD5 of 32 hex digits,
// SHA-256 of 64 upper-case hex digits or none); empty when nothing is.
std::string CheckPackageEntry(const PackageEntry& entry);

// Parsing checks every entry, that the latest is among them and the policy; the
// error names the first problem.
std::optional<Catalog> CatalogFromJson(std::string_view text, std::string& error);
std::string CatalogToJson(const Catalog& catalog);

// Why a package URL cannot serve the program's in-process download, which fetches
// ranges over a plain http:// address only (with a host, without blanks or control
// characters); empty when it can.
std::string CheckPackageUrl(const std::string& url);
// Why an update-url policy cannot take clients to another service: it must be an
// http:// or https:// address with a host, without blanks or control characters.
// Empty when it can, or when it is empty (no move).
std::string CheckUpdateUrl(const std::string& url);

// A missing, unreadable or invalid file is an error (missing tells whether the
// file was simply not there).
std::optional<Catalog> LoadCatalog(const std::string& path, std::string& error, bool* missing = nullptr);
// Writes a temporary file beside the catalog, syncs it and renames it over, so a
// running service never reads half a catalog and a crash leaves the old or the new.
bool SaveCatalog(const std::string& path, const Catalog& catalog, std::string& error);

// Holds an exclusive lock on the catalog's lock file (path + ".lock") while it
// lives, so that two publishes never lose each other's change.
class CatalogLock {
 public:
  explicit CatalogLock(const std::string& catalogPath);
  ~CatalogLock();
  CatalogLock(const CatalogLock&) = delete;
  CatalogLock& operator=(const CatalogLock&) = delete;
  bool Held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// Adds the entry or replaces the one with the same version. It becomes the latest
// when makeLatest is set or when the catalog had no latest yet.
void PublishEntry(Catalog& catalog, PackageEntry entry, bool makeLatest);

}  // namespace zel::svc
