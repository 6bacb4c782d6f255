// The record of check-ins: one row per answered update query, so a vendor can see
// which versions and document programs are out there. One interface, two backends:
// an SQLite file for one machine, PostgreSQL shared by the replicas of a fleet. Both
// keep the same table "checkins" and view "installations" (one row per installation
// UUID with its latest version and its latest full profile), so reports and ad-hoc
// SQL read alike.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "RequestBody.h"

namespace zel::svc {

// One check-in as stored: only the fields the program defines, each cut to
// kMaxValueBytes by the request checks, so a row stays small.
struct CheckinRow {
  std::int64_t time = 0;  // seconds since 1970, UTC
  std::string remoteAddr;
  int action = 0;  // what the service answered
  bool fullProfile = false;
  std::array<std::optional<std::string>, kKnownFields.size()> values;  // in kKnownFields order
  std::int64_t unknownFields = 0;

  static CheckinRow FromQuery(std::int64_t time, std::string remoteAddr, const UpdateQuery& query, int action);
};

// Rows one prune transaction removes: a few milliseconds of work, which an SQLite
// writer waiting for the file outlasts.
inline constexpr std::int64_t kPruneBatchRows = 1000;

// Rows of a read query, every column as text ("" for NULL).
using TextRows = std::vector<std::vector<std::string>>;

class CheckinStore {
 public:
  enum class Access { kReadWrite, kReadOnly };

  virtual ~CheckinStore() = default;

  // All rows in one transaction: either all are stored or none. Empty error on success.
  virtual std::string Insert(const std::vector<CheckinRow>& rows) = 0;
  // When each of these installations last sent its full profile (those that never
  // did are left out).
  virtual std::string LastFullProfiles(const std::vector<std::string>& uuids,
                                       std::map<std::string, std::int64_t>& lastFull) = 0;
  // Removes check-ins older than the time given, in transactions of at most
  // batchRows rows each, so the writers of a running service wait for one batch at
  // most; the number removed.
  virtual std::string Prune(std::int64_t before, std::int64_t batchRows, std::int64_t& removed) = 0;
  // A read query in the SQL both backends understand.
  virtual std::string Select(const std::string& sql, TextRows& rows) = 0;
};

// Where names an SQLite file, or a PostgreSQL database as a postgresql:// URI or a
// key=value connection string. Read-write opening creates the tables when missing;
// read-only opening never writes. Null (and an error) on failure.
std::unique_ptr<CheckinStore> OpenCheckinStore(const std::string& where, CheckinStore::Access access,
                                               std::string& error);
bool IsPostgresAddress(const std::string& where);

// 2026-04-17T08:30:00Z, and back (no value for another form).
std::string IsoUtc(std::int64_t unixSeconds);
std::optional<std::int64_t> ParseIsoUtc(const std::string& text);

// The layout of the store this build knows. 1: the table and view without a
// recorded version; 2: the version recorded in schema_version.
inline constexpr int kSchemaVersion = 2;

// For the backends: the columns of an INSERT in CheckinRow order.
std::string CheckinColumnList();
// The version of a store, from what it holds: no checkins table is 0 (empty), a
// checkins table without schema_version is 1.
int StoredSchemaVersion(bool hasCheckins, std::optional<int> recorded);
// The statements that bring a store from version `from` to kSchemaVersion, in the
// SQL both backends take, with the backend's id column type; empty error, or why
// the store cannot be used (a version newer than this build knows).
std::string SchemaMigration(int from, const char* idColumn, std::string& sql);

// The column names of kKnownFields, in the same order.
extern const std::array<const char*, kKnownFields.size()> kFieldColumns;

}  // namespace zel::svc
