#include "SqliteStore.h"

#include <sqlite3.h>

#include <chrono>
#include <mutex>
#include <thread>

namespace zel::svc {
namespace {

// A writer that finds the file locked gives up after this long, so the queries it
// holds are answered "try again" within their time budget instead of stalling.
constexpr int kWriteBusyMs = 200;
constexpr int kReadBusyMs = 5000;
// A prune batch that finds the file locked waits kWriteBusyMs this many times.
constexpr int kPruneBusyTries = 50;
constexpr int kPrunePauseMs = 20;

struct Statement {
  sqlite3_stmt* stmt = nullptr;
  Statement(sqlite3* db, const std::string& sql) { sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr); }
  ~Statement() { sqlite3_finalize(stmt); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  void BindText(int index, const std::string& text) {
    sqlite3_bind_text(stmt, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  }
};

class SqliteStore final : public CheckinStore {
 public:
  explicit SqliteStore(sqlite3* db) : db_(db) {}
  ~SqliteStore() override { sqlite3_close(db_); }

  std::string Insert(const std::vector<CheckinRow>& rows) override {
    std::lock_guard lock(mutex_);
    if (std::string error = Exec("BEGIN IMMEDIATE"); !error.empty()) return error;
    std::string placeholders = "?";
    for (std::size_t i = 1; i < 5 + kFieldColumns.size(); ++i) placeholders += ",?";
    Statement s(db_, "INSERT INTO checkins (" + CheckinColumnList() + ") VALUES (" + placeholders + ")");
    std::string error = s.stmt ? "" : Error();
    for (const CheckinRow& row : rows) {
      if (!error.empty()) break;
      s.BindText(1, IsoUtc(row.time));
      s.BindText(2, row.remoteAddr);
      sqlite3_bind_int(s.stmt, 3, row.action);
      sqlite3_bind_int(s.stmt, 4, row.fullProfile ? 1 : 0);
      sqlite3_bind_int64(s.stmt, 5, row.unknownFields);
      for (std::size_t i = 0; i < row.values.size(); ++i) {
        if (row.values[i]) {
          s.BindText(static_cast<int>(6 + i), *row.values[i]);
        } else {
          sqlite3_bind_null(s.stmt, static_cast<int>(6 + i));
        }
      }
      if (sqlite3_step(s.stmt) != SQLITE_DONE) error = Error();
      sqlite3_reset(s.stmt);
    }
    if (error.empty()) error = Exec("COMMIT");
    if (!error.empty()) Exec("ROLLBACK");
    return error;
  }

  std::string LastFullProfiles(const std::vector<std::string>& uuids,
                               std::map<std::string, std::int64_t>& lastFull) override {
    std::lock_guard lock(mutex_);
    Statement s(db_, "SELECT MAX(time) FROM checkins WHERE uuid = ? AND full_profile = 1");
    if (!s.stmt) return Error();
    for (const std::string& uuid : uuids) {
      s.BindText(1, uuid);
      const int rc = sqlite3_step(s.stmt);
      if (rc != SQLITE_ROW) return Error();
      if (const auto* text = sqlite3_column_text(s.stmt, 0)) {
        if (auto when = ParseIsoUtc(reinterpret_cast<const char*>(text))) lastFull[uuid] = *when;
      }
      sqlite3_reset(s.stmt);
    }
    return {};
  }

  std::string Prune(std::int64_t before, std::int64_t batchRows, std::int64_t& removed) override {
    std::lock_guard lock(mutex_);
    Statement s(db_, "DELETE FROM checkins WHERE id IN (SELECT id FROM checkins WHERE time < ? LIMIT ?)");
    if (!s.stmt) return Error();
    s.BindText(1, IsoUtc(before));
    sqlite3_bind_int64(s.stmt, 2, batchRows);
    removed = 0;
    // Each batch is a transaction of its own; between them the service's writer gets
    // the file. A batch that finds the file busy tries again: the writer holds it for
    // milliseconds at a time.
    for (int busy = 0; busy < kPruneBusyTries;) {
      const int rc = sqlite3_step(s.stmt);
      sqlite3_reset(s.stmt);
      if (rc == SQLITE_BUSY) {
        ++busy;
        continue;
      }
      if (rc != SQLITE_DONE) return Error();
      const std::int64_t count = sqlite3_changes64(db_);
      removed += count;
      if (count < batchRows) return {};
      // The service's writer, polling for the lock, gets its turn before the next batch.
      std::this_thread::sleep_for(std::chrono::milliseconds(kPrunePauseMs));
    }
    return Error();
  }

  std::string Select(const std::string& sql, TextRows& rows) override {
    std::lock_guard lock(mutex_);
    Statement s(db_, sql);
    if (!s.stmt) return Error();
    int rc;
    while ((rc = sqlite3_step(s.stmt)) == SQLITE_ROW) {
      std::vector<std::string>& row = rows.emplace_back();
      for (int i = 0; i < sqlite3_column_count(s.stmt); ++i) {
        const auto* text = sqlite3_column_text(s.stmt, i);
        row.emplace_back(text ? reinterpret_cast<const char*>(text) : "");
      }
    }
    return rc == SQLITE_DONE ? "" : Error();
  }

 private:
  std::string Error() const { return std::string("sqlite: ") + sqlite3_errmsg(db_); }
  std::string Exec(const std::string& sql) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) == SQLITE_OK) return {};
    std::string error = std::string("sqlite: ") + (message ? message : "unknown error");
    sqlite3_free(message);
    return error;
  }

  std::mutex mutex_;
  sqlite3* db_;
};

// The single value of a query, or nothing.
std::optional<std::string> Scalar(sqlite3* db, const char* sql) {
  Statement s(db, sql);
  if (!s.stmt || sqlite3_step(s.stmt) != SQLITE_ROW) return std::nullopt;
  const auto* text = sqlite3_column_text(s.stmt, 0);
  return text ? std::string(reinterpret_cast<const char*>(text)) : std::string();
}

std::string PrepareSchema(sqlite3* db) {
  char* message = nullptr;
  const auto exec = [&](const std::string& sql) {
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) == SQLITE_OK) return std::string();
    std::string error = message ? message : sqlite3_errmsg(db);
    sqlite3_free(message);
    message = nullptr;
    return error;
  };
  if (std::string error = exec("PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL; BEGIN IMMEDIATE");
      !error.empty())
    return error;
  const auto tables = [&](const char* name) {
    return Scalar(db, (std::string("SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND name = '") + name + "'").c_str()) ==
           "1";
  };
  std::optional<int> recorded;
  if (tables("schema_version")) {
    recorded = std::atoi(Scalar(db, "SELECT MAX(version) FROM schema_version").value_or("0").c_str());
  }
  std::string sql;
  std::string error = SchemaMigration(StoredSchemaVersion(tables("checkins"), recorded), "INTEGER PRIMARY KEY", sql);
  if (error.empty() && !sql.empty()) error = exec(sql);
  if (error.empty()) error = exec("COMMIT");
  if (!error.empty()) exec("ROLLBACK");
  return error;
}

}  // namespace

std::unique_ptr<CheckinStore> OpenSqliteStore(const std::string& path, CheckinStore::Access access,
                                              std::string& error) {
  const bool readOnly = access == CheckinStore::Access::kReadOnly;
  sqlite3* db = nullptr;
  const int flags = (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) |
                    SQLITE_OPEN_FULLMUTEX;
  if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
    error = "cannot open " + path + ": " + (db ? sqlite3_errmsg(db) : "out of memory");
    sqlite3_close(db);
    return nullptr;
  }
  if (!readOnly) {
    // The write-ahead log lets reports read while the service writes; each commit is
    // synced, so an answered check-in survives a crash of the process or machine.
    // The schema is created or brought up to date in one transaction, which may wait
    // for a running service's commits.
    sqlite3_busy_timeout(db, kReadBusyMs);
    error = PrepareSchema(db);
    if (!error.empty()) {
      error = "cannot prepare " + path + ": " + error;
      sqlite3_close(db);
      return nullptr;
    }
  }
  sqlite3_busy_timeout(db, readOnly ? kReadBusyMs : kWriteBusyMs);
  return std::make_unique<SqliteStore>(db);
}

}  // namespace zel::svc
