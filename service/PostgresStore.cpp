#include "PostgresStore.h"

#include <libpq-fe.h>

#include <mutex>

namespace zel::svc {
namespace {

// Rows per INSERT statement, well under the protocol's 65535 parameters.
constexpr std::size_t kRowsPerStatement = 1000;
constexpr std::size_t kColumns = 5 + kFieldColumns.size();

struct Result {
  PGresult* res;
  explicit Result(PGresult* r) : res(r) {}
  ~Result() { PQclear(res); }
  Result(const Result&) = delete;
  Result& operator=(const Result&) = delete;
};

}  // namespace

bool ConninfoHasPassword(const std::string& conninfo) {
  char* message = nullptr;
  PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), &message);
  PQfreemem(message);
  bool found = false;
  for (PQconninfoOption* o = options; o && o->keyword; ++o) {
    if (std::string_view(o->keyword) == "password" && o->val && *o->val) found = true;
  }
  PQconninfoFree(options);
  return found;
}

bool ConnectionUnusable(std::string_view sqlState) {
  // Class 08: connection exceptions; 57P01-57P03: the server shuts down or cannot
  // take connections now; 25006: a read-only transaction, as on a standby after a
  // failover.
  return sqlState.starts_with("08") || sqlState == "57P01" || sqlState == "57P02" || sqlState == "57P03" ||
         sqlState == "25006";
}

namespace {

class PostgresStore final : public CheckinStore {
 public:
  PostgresStore(std::string conninfo, bool readOnly) : conninfo_(std::move(conninfo)), readOnly_(readOnly) {}
  ~PostgresStore() override { PQfinish(conn_); }

  // Connects, or reconnects after the server went away; empty error when connected.
  std::string Connect() {
    if (conn_ && PQstatus(conn_) == CONNECTION_OK) return {};
    PQfinish(conn_);
    // Statements that take longer than the time budget of a query are given up, so a
    // stuck server turns into "try again" answers rather than a stalled service. The
    // service answers only what is durable, whatever the server's default.
    const char* options = readOnly_
                              ? "-c client_min_messages=warning -c default_transaction_read_only=on"
                              : "-c client_min_messages=warning -c statement_timeout=1000 -c synchronous_commit=on";
    // Keys before dbname are defaults the connection string may change; those after
    // it hold whatever it says. A connection whose peer went silent (a cable pulled, a
    // firewall dropping packets) fails once sent data stays unacknowledged for a second
    // or an idle one stops answering keep-alive probes, not minutes later; with several
    // hosts listed, only a writable one is used.
    const char* keys[] = {"keepalives",          "keepalives_idle", "keepalives_interval", "keepalives_count",
                          "tcp_user_timeout",    "connect_timeout", "target_session_attrs", "dbname",
                          "options",             "application_name", nullptr};
    const char* values[] = {"1", "2", "1", "2", "1000", "2", readOnly_ ? "any" : "read-write", conninfo_.c_str(),
                            options, "zelupdate-service", nullptr};
    conn_ = PQconnectdbParams(keys, values, 1);
    if (PQstatus(conn_) == CONNECTION_OK) return {};
    std::string error = Error();
    PQfinish(conn_);
    conn_ = nullptr;
    return error;
  }

  // Creates the schema of a new store or brings an older one up to date, in one
  // transaction; replicas starting together do this one after the other.
  std::string PrepareSchema() {
    if (std::string error = Exec("BEGIN; SET LOCAL statement_timeout = '30s'; SELECT pg_advisory_xact_lock(74110911)",
                                 PGRES_TUPLES_OK);
        !error.empty()) {
      Exec("ROLLBACK");
      return error;
    }
    TextRows rows;
    std::string error = SelectUnlocked(
        "SELECT to_regclass('checkins') IS NOT NULL, to_regclass('schema_version') IS NOT NULL", rows);
    std::optional<int> recorded;
    if (error.empty() && rows.at(0).at(1) == "t") {
      TextRows version;
      error = SelectUnlocked("SELECT MAX(version) FROM schema_version", version);
      if (error.empty()) recorded = std::atoi(version.at(0).at(0).c_str());
    }
    std::string sql;
    if (error.empty()) error = SchemaMigration(StoredSchemaVersion(rows.at(0).at(0) == "t", recorded), "BIGSERIAL PRIMARY KEY", sql);
    if (error.empty() && !sql.empty()) error = Exec(sql);
    if (error.empty()) error = Exec("COMMIT");
    if (!error.empty()) Exec("ROLLBACK");
    return error;
  }

  std::string Exec(const std::string& sql, ExecStatusType expected = PGRES_COMMAND_OK) {
    Result r(PQexec(conn_, sql.c_str()));
    return PQresultStatus(r.res) == expected ? "" : Error(r.res);
  }

  std::string Insert(const std::vector<CheckinRow>& rows) override {
    std::lock_guard lock(mutex_);
    return Retried([&] { return InsertOnce(rows); });
  }

  std::string LastFullProfiles(const std::vector<std::string>& uuids,
                               std::map<std::string, std::int64_t>& lastFull) override {
    std::lock_guard lock(mutex_);
    return Retried([&] { return LastFullProfilesOnce(uuids, lastFull); });
  }

 private:
  // A connection the server dropped (a restart, a failover) is found broken only
  // by its next use, and one to a server that became a standby refuses writes; that
  // use is tried once more on a new connection.
  template <typename Action>
  std::string Retried(Action action) {
    std::string error = action();
    if (!error.empty() && conn_ && (PQstatus(conn_) != CONNECTION_OK || ConnectionUnusable(lastState_))) {
      PQfinish(conn_);
      conn_ = nullptr;
      error = action();
    }
    return error;
  }

  std::string InsertOnce(const std::vector<CheckinRow>& rows) {
    if (std::string error = Connect(); !error.empty()) return error;
    if (std::string error = Exec("BEGIN"); !error.empty()) return error;
    std::string error;
    for (std::size_t first = 0; first < rows.size() && error.empty(); first += kRowsPerStatement) {
      const std::size_t count = std::min(kRowsPerStatement, rows.size() - first);
      std::string sql = "INSERT INTO checkins (" + CheckinColumnList() + ") VALUES ";
      std::vector<std::string> texts;
      texts.reserve(count * kColumns);
      std::vector<const char*> params;
      params.reserve(count * kColumns);
      for (std::size_t r = 0; r < count; ++r) {
        const CheckinRow& row = rows[first + r];
        sql += r ? ",(" : "(";
        for (std::size_t c = 0; c < kColumns; ++c) {
          sql += (c ? ",$" : "$") + std::to_string(r * kColumns + c + 1);
        }
        sql += ")";
        texts.push_back(IsoUtc(row.time));
        texts.push_back(row.remoteAddr);
        texts.push_back(std::to_string(row.action));
        texts.push_back(row.fullProfile ? "1" : "0");
        texts.push_back(std::to_string(row.unknownFields));
        for (const auto& value : row.values) texts.push_back(value.value_or(""));
      }
      for (std::size_t r = 0; r < count; ++r) {
        const CheckinRow& row = rows[first + r];
        for (std::size_t c = 0; c < kColumns; ++c) {
          const bool null = c >= 5 && !row.values[c - 5];
          params.push_back(null ? nullptr : texts[r * kColumns + c].c_str());
        }
      }
      Result res(PQexecParams(conn_, sql.c_str(), static_cast<int>(params.size()), nullptr, params.data(),
                              nullptr, nullptr, 0));
      if (PQresultStatus(res.res) != PGRES_COMMAND_OK) error = Error(res.res);
    }
    if (error.empty()) error = Exec("COMMIT");
    if (!error.empty() && conn_) Exec("ROLLBACK");
    return error;
  }

  std::string LastFullProfilesOnce(const std::vector<std::string>& uuids,
                                   std::map<std::string, std::int64_t>& lastFull) {
    if (std::string error = Connect(); !error.empty()) return error;
    std::string array = "{";
    for (const std::string& uuid : uuids) {
      if (array.size() > 1) array += ",";
      array += "\"";
      for (char c : uuid) {
        if (c == '"' || c == '\\') array += '\\';
        array += c;
      }
      array += "\"";
    }
    array += "}";
    const char* params[] = {array.c_str()};
    Result res(PQexecParams(conn_,
                            "SELECT uuid, MAX(time) FROM checkins WHERE full_profile = 1 "
                            "AND uuid = ANY($1::text[]) GROUP BY uuid",
                            1, nullptr, params, nullptr, nullptr, 0));
    if (PQresultStatus(res.res) != PGRES_TUPLES_OK) return Error(res.res);
    for (int i = 0; i < PQntuples(res.res); ++i) {
      if (auto when = ParseIsoUtc(PQgetvalue(res.res, i, 1))) lastFull[PQgetvalue(res.res, i, 0)] = *when;
    }
    return {};
  }


 public:
  std::string Prune(std::int64_t before, std::int64_t batchRows, std::int64_t& removed) override {
    std::lock_guard lock(mutex_);
    if (std::string error = Connect(); !error.empty()) return error;
    // A batch may wait for whatever holds the table, as long as it takes; it holds
    // nothing itself meanwhile, and each batch commits on its own.
    if (std::string error = Exec("SET statement_timeout = 0"); !error.empty()) return error;
    const std::string cutoff = IsoUtc(before), limit = std::to_string(batchRows);
    const char* params[] = {cutoff.c_str(), limit.c_str()};
    removed = 0;
    while (true) {
      Result res(PQexecParams(conn_,
                              "DELETE FROM checkins WHERE id IN "
                              "(SELECT id FROM checkins WHERE time < $1 LIMIT $2::bigint)",
                              2, nullptr, params, nullptr, nullptr, 0));
      if (PQresultStatus(res.res) != PGRES_COMMAND_OK) return Error(res.res);
      const std::int64_t count = std::stoll(PQcmdTuples(res.res));
      removed += count;
      if (count < batchRows) return {};
    }
  }

  std::string Select(const std::string& sql, TextRows& rows) override {
    std::lock_guard lock(mutex_);
    if (std::string error = Connect(); !error.empty()) return error;
    return SelectUnlocked(sql, rows);
  }

  std::string SelectUnlocked(const std::string& sql, TextRows& rows) {
    Result res(PQexec(conn_, sql.c_str()));
    if (PQresultStatus(res.res) != PGRES_TUPLES_OK) return Error(res.res);
    for (int i = 0; i < PQntuples(res.res); ++i) {
      std::vector<std::string>& row = rows.emplace_back();
      for (int c = 0; c < PQnfields(res.res); ++c) row.emplace_back(PQgetvalue(res.res, i, c));
    }
    return {};
  }

 private:
  // The failure of the last call as one line, with the server's error code when it
  // sent one: "postgresql: [57P01] terminating connection ...".
  std::string Error(const PGresult* result = nullptr) {
    const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    lastState_ = state ? state : "";
    const std::string text = conn_ ? PQerrorMessage(conn_) : "no connection";
    // One line: the line breaks and indents of a multi-line message become blanks.
    std::string message;
    for (char c : text) {
      if (c != '\n' && c != '\t' && c != ' ') {
        message += c;
      } else if (!message.empty() && message.back() != ' ') {
        message += ' ';
      }
    }
    if (!message.empty() && message.back() == ' ') message.pop_back();
    return "postgresql: " + (lastState_.empty() ? "" : "[" + lastState_ + "] ") + message;
  }

  std::mutex mutex_;
  const std::string conninfo_;
  const bool readOnly_;
  PGconn* conn_ = nullptr;
  std::string lastState_;  // SQLSTATE of the last failure, empty when none came
};

}  // namespace

std::unique_ptr<CheckinStore> OpenPostgresStore(const std::string& conninfo, CheckinStore::Access access,
                                                std::string& error) {
  const bool readOnly = access == CheckinStore::Access::kReadOnly;
  auto store = std::make_unique<PostgresStore>(conninfo, readOnly);
  error = store->Connect();
  if (error.empty() && !readOnly) error = store->PrepareSchema();
  if (!error.empty()) return nullptr;
  return store;
}

}  // namespace zel::svc
