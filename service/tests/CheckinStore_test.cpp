#include "CheckinStore.h"

#include <libpq-fe.h>
#include <sqlite3.h>

#include "Commands.h"
#include "Report.h"
#include "TestSupport.h"

namespace zel::svc::test {
namespace {

constexpr std::int64_t kT0 = 1776414600;  // 2026-04-17T08:30:00Z

CheckinRow Row(std::int64_t time, const std::string& query, int action = 33) {
  return CheckinRow::FromQuery(time, "127.0.0.1", Parse(query), action);
}

// Both backends keep, summarise and prune check-ins alike; each test has a new store.
struct BackendTest : ::testing::TestWithParam<std::string> {
  void SetUp() override { ASSERT_TRUE(store) << error; }
  ScratchDir dir;
  const std::string where = GetParam() == "sqlite" ? dir.File("c.db") : NewDatabase();
  std::string error;
  std::unique_ptr<CheckinStore> store = OpenCheckinStore(where, CheckinStore::Access::kReadWrite, error);
};
INSTANTIATE_TEST_SUITE_P(Stores, BackendTest, ::testing::Values("sqlite", "postgres"));

TEST_P(BackendTest, RecordsFullProfilesAndSummarisesInstallations) {
  // A second writer (another replica) finds the schema in place.
  ASSERT_TRUE(OpenCheckinStore(where, CheckinStore::Access::kReadWrite, error)) << error;
  ASSERT_EQ(store->Insert({Row(kT0, ShortQuery("1.0.0", "A")), Row(kT0 + 10, FullQuery("1.0.0", "A", "excel", "16")),
                           Row(kT0 + 86400, ShortQuery("2.0.0", "A")),
                           Row(kT0 + 20, FullQuery("1.0.0", "B", "wps", "11")),
                           Row(kT0 + 30, ShortQuery("1.0.0", "C") + "&Extra=41")}),
            "");

  std::map<std::string, std::int64_t> lastFull;
  ASSERT_EQ(store->LastFullProfiles({"A", "B", "C", "nobody"}, lastFull), "");
  EXPECT_EQ(lastFull, (std::map<std::string, std::int64_t>{{"A", kT0 + 10}, {"B", kT0 + 20}}));

  ReportData report;
  ASSERT_EQ(LoadReport(*store, 36500, kT0 + 86400, report), "");
  EXPECT_EQ(report.checkins, 5);
  // One installation each, by its latest check-in and its latest full profile.
  EXPECT_EQ(report.byVersion, (CountedValues{{"1.0.0", 2}, {"2.0.0", 1}}));
  EXPECT_EQ(report.byDocumentProgram, (CountedValues{{"(no full profile)", 1}, {"excel 16", 1}, {"wps 11", 1}}));
  EXPECT_EQ(report.checkinsPerDay, (CountedValues{{"2026-04-17", 4}, {"2026-04-18", 1}}));
  ASSERT_EQ(report.versionsByDay.size(), 2u);
  EXPECT_EQ(report.versionsByDay[0].installations, 3);  // A, B and C on the first day

  // Unknown fields are counted, not kept; the columns a vendor queries by hand.
  EXPECT_EQ(Count(*store, "SELECT unknown_fields FROM checkins WHERE uuid = 'C'"), 1);
  TextRows rows;
  ASSERT_EQ(store->Select("SELECT time, os_name, office_addins, full_profile FROM checkins WHERE uuid = 'B'", rows), "");
  EXPECT_EQ(rows, (TextRows{{"2026-04-17T08:30:20Z", "Microsoft Windows 10 专业版", "{}", "1"}}));

  std::jthread holder;  // ends with the test
  if (GetParam() == "postgres") {
    // Another session holds the table longer than the service's statements may run;
    // a prune waits for it, as it takes its time on a large store.
    PGconn* other = PQconnectdb(where.c_str());
    ASSERT_EQ(PQstatus(other), CONNECTION_OK);
    PQclear(PQexec(other, "BEGIN; LOCK TABLE checkins IN SHARE MODE"));
    holder = std::jthread([other] {
      std::this_thread::sleep_for(std::chrono::milliseconds(2300));
      PQclear(PQexec(other, "COMMIT"));
      PQfinish(other);
    });
  }
  std::int64_t removed = 0;
  EXPECT_EQ(store->Prune(kT0 + 3600, 3, removed), "");  // in two batches
  EXPECT_EQ(removed, 4);
  EXPECT_EQ(Count(*store, "SELECT COUNT(*) FROM checkins"), 1);

  auto reader = OpenCheckinStore(where, CheckinStore::Access::kReadOnly, error);
  ASSERT_TRUE(reader) << error;
  EXPECT_THAT(reader->Insert({Row(kT0, ShortQuery("1.0.0", "A"))}),
              ::testing::HasSubstr(GetParam() == "postgres" ? "[25006]" : "sqlite: "));
}

// Runs statements on a store beside the service's own connection.
void Execute(const std::string& where, const std::string& sql) {
  if (IsPostgresAddress(where)) {
    const std::string psql = "psql -q -X -v ON_ERROR_STOP=1 '" + where + "' -c \"" + sql + "\" >/dev/null";
    EXPECT_EQ(std::system(psql.c_str()), 0) << sql;
    return;
  }
  sqlite3* db = nullptr;
  sqlite3_open(where.c_str(), &db);
  EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
  sqlite3_close(db);
}

// A store of the layout before versions (no schema_version, a view of its own) is
// brought up to date with its rows; one newer than this build is refused, as is a
// file or server that holds no store.
TEST_P(BackendTest, MigratesAnOlderStoreAndRefusesANewerOrUnusableOne) {
  for (const std::string& unusable :
       {dir.Write("not-a-db", std::string(4096, 'x')), dir.File("no/such/folder/c.db"),
        std::string("host=/nonexistent port=1 dbname=x")}) {
    error.clear();
    EXPECT_FALSE(OpenCheckinStore(unusable, CheckinStore::Access::kReadWrite, error) || error.empty())
        << unusable;
  }
  EXPECT_NE(error.find("postgresql"), std::string::npos) << error;
  EXPECT_FALSE(OpenCheckinStore(dir.File("missing.db"), CheckinStore::Access::kReadOnly, error));
  EXPECT_FALSE(std::filesystem::exists(dir.File("missing.db")));
  Execute(where, "DROP TABLE schema_version; DROP VIEW installations; CREATE VIEW installations AS SELECT uuid FROM checkins");
  TextRows rows;
  const auto old = OpenCheckinStore(where, CheckinStore::Access::kReadOnly, error);
  ASSERT_TRUE(old) << error;
  ASSERT_NE(old->Select("SELECT COUNT(*) FROM schema_version", rows), "");  // no such table
  Execute(where, "INSERT INTO checkins (time, full_profile, uuid) VALUES ('2026-04-17T08:30:00Z', 1, 'A')");
  std::ostringstream out, err;
  ASSERT_EQ(RunMigrate({.db = where}, out, err), 0) << err.str();
  EXPECT_EQ(Count(*store, "SELECT version FROM schema_version"), kSchemaVersion);
  EXPECT_EQ(Count(*store, "SELECT COUNT(*) FROM installations WHERE profile_time IS NOT NULL"), 1);
  EXPECT_EQ(RunMigrate({.db = where}, out, err), 0);  // nothing left to do
  EXPECT_EQ(Count(*store, "SELECT COUNT(*) FROM schema_version"), 1);

  Execute(where, "UPDATE schema_version SET version = " + std::to_string(kSchemaVersion + 1));
  EXPECT_FALSE(OpenCheckinStore(where, CheckinStore::Access::kReadWrite, error));
  EXPECT_NE(error.find("newer"), std::string::npos) << error;
}

// The service's session commits durably and gives up a statement within the time
// budget whatever the database's defaults; a connection that turned read-only (its
// server became a standby) is replaced by its next use, as is one the server ended.
TEST(PostgresStore, HoldsItsSessionSettingsAndReplacesAConnectionThatTurnedReadOnly) {
  const std::string where = NewDatabase(), db = where.substr(where.find("dbname=") + 7);
  Execute(where, "ALTER DATABASE " + db + " SET synchronous_commit = off; ALTER DATABASE " + db +
                     " SET statement_timeout = 0");
  std::string error;
  auto store = OpenCheckinStore(where, CheckinStore::Access::kReadWrite, error);
  ASSERT_TRUE(store) << error;
  EXPECT_EQ(
      Column(*store, "SELECT current_setting('synchronous_commit') || current_setting('statement_timeout')"),
      std::set<std::string>{"on1s"});
  ASSERT_EQ(store->Insert({Row(kT0, ShortQuery("1.0.0", "before"))}), "");

  // The configuration file makes the open session read-only; a new one is writable
  // (the database's own setting wins there), as on a new primary.
  Execute(where, "ALTER DATABASE " + db + " SET default_transaction_read_only = off");
  Execute(where, "ALTER SYSTEM SET default_transaction_read_only = on");
  Execute(where, "SELECT pg_reload_conf()");
  const bool readOnly = Eventually(
      [&] { return Column(*store, "SHOW default_transaction_read_only") == std::set<std::string>{"on"}; });
  Execute(where, "ALTER SYSTEM RESET default_transaction_read_only");
  ASSERT_TRUE(readOnly);
  EXPECT_EQ(store->Insert({Row(kT0, ShortQuery("1.0.0", "after failover"))}), "");
  Execute(where, "SELECT pg_reload_conf()");

  Execute(where, "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = '" + db +
                     "' AND application_name = 'zelupdate-service'");
  EXPECT_EQ(store->Insert({Row(kT0, ShortQuery("1.0.0", "after restart"))}), "");
  EXPECT_EQ(Count(*store, "SELECT COUNT(*) FROM checkins"), 3);
}

// Everything in the page and the text comes from clients: it is escaped, and the
// page needs nothing from elsewhere.
TEST(Report, HtmlPageAndTextEscapeWhatClientsSentAndThePageStandsAlone) {
  ReportData data;
  data.byDocumentProgram = {{"<script>alert(1)</script> 16", 3}, {"wps\x1b]0;owned\x07\n 11", 1}};
  std::ostringstream text;
  WriteTextReport(data, text);
  EXPECT_NE(text.str().find("  wps\\x1B]0;owned\\x07\\x0A 11\t1\n"), std::string::npos) << text.str();
  data.versionsByDay = {{"2026-04-17", "2.0\"onload=x", 2}, {"2026-04-18", "2.1.0", 5}};
  data.checkinsPerDay = {{"2026-04-17", 2}, {"2026-04-18", 5}};
  const std::string page = HtmlReport(data, "Report & <test>", kT0);
  for (const char* absent : {"<script", "\"onload", "src=", "href="})
    EXPECT_EQ(page.find(absent), std::string::npos);
  for (const char* present :
       {"&lt;script&gt;alert(1)&lt;/script&gt; 16", "Report &amp; &lt;test&gt;", "<svg"})
    EXPECT_NE(page.find(present), std::string::npos) << present;
}

}  // namespace
}  // namespace zel::svc::test
