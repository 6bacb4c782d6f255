#include "CheckinStore.h"

#include <sqlite3.h>

#include <ctime>
#include <nlohmann/json.hpp>

namespace zel::svc {

namespace {

constexpr const char* kSchema = R"sql(
PRAGMA journal_mode = WAL;
CREATE TABLE IF NOT EXISTS checkins (
  id               INTEGER PRIMARY KEY,
  time             TEXT NOT NULL,
  remote_addr      TEXT,
  uuid             TEXT,
  app_ver          TEXT,
  execution_level  TEXT,
  os_major_ver     TEXT,
  full_profile     INTEGER NOT NULL,
  arch             TEXT,
  os_name          TEXT,
  os_ver           TEXT,
  cpu              TEXT,
  resolution       TEXT,
  https_shell_app  TEXT,
  doc_shell_app    TEXT,
  doc_shell_ver    TEXT,
  office_addins    TEXT,
  action           INTEGER,
  fields           TEXT
);
CREATE INDEX IF NOT EXISTS checkins_uuid ON checkins(uuid, id);
CREATE VIEW IF NOT EXISTS installations AS
  SELECT c.uuid, c.time AS last_seen, c.app_ver, c.os_major_ver,
         f.time AS profile_time, f.os_name, f.os_ver, f.arch, f.cpu, f.resolution,
         f.https_shell_app, f.doc_shell_app, f.doc_shell_ver, f.office_addins
  FROM checkins c
  LEFT JOIN checkins f
    ON f.id = (SELECT MAX(id) FROM checkins WHERE uuid = c.uuid AND full_profile = 1)
  WHERE c.id = (SELECT MAX(id) FROM checkins WHERE uuid = c.uuid);
)sql";

// Columns filled from query fields, in the order of the INSERT below.
constexpr const char* kFieldColumns[][2] = {{"UUID", "uuid"},
                                            {"AppVer", "app_ver"},
                                            {"ExecutionLevel", "execution_level"},
                                            {"OSMajorVer", "os_major_ver"},
                                            {"Arch", "arch"},
                                            {"OSName", "os_name"},
                                            {"OSVer", "os_ver"},
                                            {"CPU", "cpu"},
                                            {"Resolution", "resolution"},
                                            {"HttpsShellApp", "https_shell_app"},
                                            {"DocShellApp", "doc_shell_app"},
                                            {"DocShellVer", "doc_shell_ver"},
                                            {"OfficeAddins", "office_addins"}};

struct Statement {
  sqlite3_stmt* stmt = nullptr;
  Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr); }
  ~Statement() { sqlite3_finalize(stmt); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  void BindText(int index, const std::string& text) {
    sqlite3_bind_text(stmt, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  }
  std::string ColumnText(int index) {
    const auto* text = sqlite3_column_text(stmt, index);
    return text ? reinterpret_cast<const char*>(text) : "";
  }
};

}  // namespace

std::string IsoUtc(std::int64_t unix_seconds) {
  const std::time_t t = static_cast<std::time_t>(unix_seconds);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return text;
}

std::unique_ptr<CheckinStore> CheckinStore::Open(const std::string& path, std::string& error) {
  sqlite3* db = nullptr;
  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX;
  if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
    error = "cannot open " + path + ": " + (db ? sqlite3_errmsg(db) : "out of memory");
    sqlite3_close(db);
    return nullptr;
  }
  sqlite3_busy_timeout(db, 5000);
  char* message = nullptr;
  if (sqlite3_exec(db, kSchema, nullptr, nullptr, &message) != SQLITE_OK) {
    error = "cannot prepare " + path + ": " + (message ? message : "unknown error");
    sqlite3_free(message);
    sqlite3_close(db);
    return nullptr;
  }
  return std::unique_ptr<CheckinStore>(new CheckinStore(db));
}

CheckinStore::~CheckinStore() { sqlite3_close(db_); }

bool CheckinStore::Record(const Checkin& checkin) {
  if (!checkin.query) return false;
  const UpdateQuery& query = *checkin.query;
  std::lock_guard lock(mutex_);
  Statement s(db_,
              "INSERT INTO checkins (time, remote_addr, full_profile, action, fields, uuid, app_ver, "
              "execution_level, os_major_ver, arch, os_name, os_ver, cpu, resolution, https_shell_app, "
              "doc_shell_app, doc_shell_ver, office_addins) "
              "VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
  if (!s.stmt) return false;
  nlohmann::json fields = nlohmann::json::object();
  for (const auto& [name, value] : query.fields) fields[name] = value;

  s.BindText(1, IsoUtc(checkin.time));
  s.BindText(2, checkin.remote_addr);
  sqlite3_bind_int(s.stmt, 3, query.HasFullProfile() ? 1 : 0);
  sqlite3_bind_int(s.stmt, 4, checkin.action);
  s.BindText(5, fields.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
  int index = 6;
  for (const auto& column : kFieldColumns) {
    if (auto value = query.Field(column[0])) {
      s.BindText(index, *value);
    } else {
      sqlite3_bind_null(s.stmt, index);
    }
    ++index;
  }
  return sqlite3_step(s.stmt) == SQLITE_DONE;
}

std::optional<std::int64_t> CheckinStore::LastFullProfile(const std::string& uuid) {
  std::lock_guard lock(mutex_);
  Statement s(db_,
              "SELECT CAST(strftime('%s', MAX(time)) AS INTEGER) FROM checkins "
              "WHERE uuid = ? AND full_profile = 1");
  if (!s.stmt) return std::nullopt;
  s.BindText(1, uuid);
  if (sqlite3_step(s.stmt) != SQLITE_ROW || sqlite3_column_type(s.stmt, 0) == SQLITE_NULL)
    return std::nullopt;
  return sqlite3_column_int64(s.stmt, 0);
}

std::int64_t CheckinStore::CountCheckins() {
  std::lock_guard lock(mutex_);
  Statement s(db_, "SELECT COUNT(*) FROM checkins");
  if (!s.stmt || sqlite3_step(s.stmt) != SQLITE_ROW) return 0;
  return sqlite3_column_int64(s.stmt, 0);
}

CountedValues CheckinStore::InstallationsByVersion() {
  return CountedQuery(
      "SELECT app_ver, COUNT(*) FROM installations GROUP BY app_ver ORDER BY COUNT(*) DESC, app_ver");
}

CountedValues CheckinStore::InstallationsByOfficeSuite() {
  return CountedQuery(
      "SELECT COALESCE(doc_shell_app || ' ' || doc_shell_ver, '(no full profile)') AS suite, COUNT(*) "
      "FROM installations GROUP BY suite ORDER BY COUNT(*) DESC, suite");
}

CountedValues CheckinStore::CountedQuery(const char* sql) {
  CountedValues values;
  std::lock_guard lock(mutex_);
  Statement s(db_, sql);
  if (!s.stmt) return values;
  while (sqlite3_step(s.stmt) == SQLITE_ROW)
    values.emplace_back(s.ColumnText(0), sqlite3_column_int64(s.stmt, 1));
  return values;
}

}  // namespace zel::svc
