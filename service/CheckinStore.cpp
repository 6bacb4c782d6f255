#include "CheckinStore.h"

#include <ctime>

#include "PostgresStore.h"
#include "SqliteStore.h"

namespace zel::svc {

const std::array<const char*, kKnownFields.size()> kFieldColumns = {
    "app_ver", "execution_level", "uuid",           "os_major_ver",  "arch",
    "os_name", "os_ver",          "cpu",            "resolution",    "https_shell_app",
    "doc_shell_app", "doc_shell_ver", "office_addins"};

CheckinRow CheckinRow::FromQuery(std::int64_t time, std::string remoteAddr, const UpdateQuery& query, int action) {
  CheckinRow row;
  row.time = time;
  row.remoteAddr = std::move(remoteAddr);
  row.action = action;
  row.fullProfile = query.HasFullProfile();
  row.unknownFields = static_cast<std::int64_t>(query.unknownFields);
  for (std::size_t i = 0; i < kKnownFields.size(); ++i) row.values[i] = query.Field(kKnownFields[i]);
  return row;
}

std::string IsoUtc(std::int64_t unixSeconds) {
  const std::time_t t = static_cast<std::time_t>(unixSeconds);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return text;
}

std::optional<std::int64_t> ParseIsoUtc(const std::string& text) {
  std::tm tm{};
  const char* end = strptime(text.c_str(), "%Y-%m-%dT%H:%M:%SZ", &tm);
  if (!end || *end != '\0') return std::nullopt;
  return static_cast<std::int64_t>(timegm(&tm));
}

bool IsPostgresAddress(const std::string& where) {
  return where.rfind("postgresql://", 0) == 0 || where.rfind("postgres://", 0) == 0 ||
         where.find('=') != std::string::npos;
}

std::unique_ptr<CheckinStore> OpenCheckinStore(const std::string& where, CheckinStore::Access access,
                                               std::string& error) {
  if (IsPostgresAddress(where)) return OpenPostgresStore(where, access, error);
  return OpenSqliteStore(where, access, error);
}

std::string CheckinColumnList() {
  std::string columns = "time, remote_addr, action, full_profile, unknown_fields";
  for (const char* column : kFieldColumns) columns += std::string(", ") + column;
  return columns;
}

int StoredSchemaVersion(bool hasCheckins, std::optional<int> recorded) {
  if (recorded) return *recorded;
  return hasCheckins ? 1 : 0;
}

std::string SchemaMigration(int from, const char* idColumn, std::string& sql) {
  if (from > kSchemaVersion) {
    return "the check-in store has schema version " + std::to_string(from) + ", newer than this program's " +
           std::to_string(kSchemaVersion) + ": run a newer zelupdate-service";
  }
  sql.clear();
  if (from == kSchemaVersion) return {};
  if (from < 1) {
    sql += std::string("CREATE TABLE checkins (\n  id ") + idColumn +
           ",\n  time TEXT NOT NULL,\n  remote_addr TEXT,\n  action INTEGER,\n"
           "  full_profile INTEGER NOT NULL,\n  unknown_fields INTEGER NOT NULL DEFAULT 0";
    for (const char* column : kFieldColumns) sql += std::string(",\n  ") + column + " TEXT";
    sql += R"sql(
);
CREATE INDEX checkins_uuid ON checkins(uuid, id);
CREATE INDEX checkins_time ON checkins(time);
)sql";
  }
  if (from < 2) {
    // The view is made anew the same way on both backends, so a store migrated from
    // any version has the view of this one.
    sql += R"sql(CREATE TABLE schema_version (version INTEGER NOT NULL);
INSERT INTO schema_version (version) VALUES (0);
DROP VIEW IF EXISTS installations;
CREATE VIEW installations AS
  SELECT c.uuid, c.time AS last_seen, c.app_ver, c.os_major_ver,
         f.time AS profile_time, f.os_name, f.os_ver, f.arch, f.cpu, f.resolution,
         f.https_shell_app, f.doc_shell_app, f.doc_shell_ver, f.office_addins
  FROM checkins c
  LEFT JOIN checkins f
    ON f.id = (SELECT MAX(id) FROM checkins WHERE uuid = c.uuid AND full_profile = 1)
  WHERE c.id = (SELECT MAX(id) FROM checkins WHERE uuid = c.uuid);
)sql";
  }
  sql += "UPDATE schema_version SET version = " + std::to_string(kSchemaVersion) + ";\n";
  return {};
}

}  // namespace zel::svc
