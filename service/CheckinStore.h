// The record of check-ins: one row per update query, in an SQLite file, so a vendor
// can see which versions and Office suites are out there. The view "installations"
// holds one row per installation UUID with its latest version and its latest full
// profile.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "RequestBody.h"

struct sqlite3;

namespace zel::svc {

struct Checkin {
  std::int64_t time = 0;  // seconds since 1970, UTC
  std::string remote_addr;
  const UpdateQuery* query = nullptr;
  int action = 0;  // what the service answered
};

// One line of a summary: a value and how many installations report it.
using CountedValues = std::vector<std::pair<std::string, std::int64_t>>;

class CheckinStore {
 public:
  // Opens or creates the file and its tables; no value (and an error) on failure.
  static std::unique_ptr<CheckinStore> Open(const std::string& path, std::string& error);
  ~CheckinStore();
  CheckinStore(const CheckinStore&) = delete;
  CheckinStore& operator=(const CheckinStore&) = delete;

  bool Record(const Checkin& checkin);
  // When this installation last sent its full profile.
  std::optional<std::int64_t> LastFullProfile(const std::string& uuid);

  std::int64_t CountCheckins();
  // Installations by their last reported version, and by the document program
  // (name and major version) of their last full profile.
  CountedValues InstallationsByVersion();
  CountedValues InstallationsByOfficeSuite();

 private:
  explicit CheckinStore(sqlite3* db) : db_(db) {}
  CountedValues CountedQuery(const char* sql);

  std::mutex mutex_;
  sqlite3* db_;
};

// 2026-04-17T08:30:00Z
std::string IsoUtc(std::int64_t unix_seconds);

}  // namespace zel::svc
