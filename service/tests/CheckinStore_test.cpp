#include "CheckinStore.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "TestSupport.h"

namespace zel::svc {
namespace {

using test::FullQuery;
using test::ShortQuery;

TEST(CheckinStore, RecordsFullProfilesAndSummarisesInstallations) {
  constexpr std::int64_t kT0 = 1776414600;  // 2026-04-17T08:30:00Z
  test::ScratchDir dir;
  std::string error;
  auto store = CheckinStore::Open(dir.File("c.db"), error);
  ASSERT_TRUE(store) << error;
  const std::pair<std::int64_t, UpdateQuery> checkins[] = {
      {kT0, test::Parse(ShortQuery("1.0.0", "A"))},
      {kT0 + 10, test::Parse(FullQuery("1.0.0", "A", "excel", "16"))},
      {kT0 + 86400, test::Parse(ShortQuery("2.0.0", "A"))},
      {kT0 + 20, test::Parse(FullQuery("1.0.0", "B", "wps", "11"))},
      {kT0 + 30, test::Parse(ShortQuery("1.0.0", "C"))}};
  for (const auto& [time, query] : checkins) ASSERT_TRUE(store->Record({time, "127.0.0.1", &query, 33}));
  EXPECT_FALSE(store->Record({kT0, "", nullptr, 31}));

  EXPECT_EQ(store->CountCheckins(), 5);
  EXPECT_EQ(store->LastFullProfile("A"), kT0 + 10);
  EXPECT_EQ(store->LastFullProfile("C"), std::nullopt);
  // One installation each, by its latest check-in and its latest full profile.
  EXPECT_EQ(store->InstallationsByVersion(), (CountedValues{{"1.0.0", 2}, {"2.0.0", 1}}));
  EXPECT_EQ(store->InstallationsByOfficeSuite(),
            (CountedValues{{"(no full profile)", 1}, {"excel 16", 1}, {"wps 11", 1}}));

  // The columns a vendor queries by hand, readable while the store has the file open.
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open_v2(dir.File("c.db").c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  std::string row;
  sqlite3_exec(
      db,
      "SELECT time || '|' || os_name || '|' || office_addins || '|' || full_profile || '|' || fields "
      "FROM checkins WHERE uuid = 'B'",
      [](void* out, int, char** v, char**) { return *static_cast<std::string*>(out) = v[0], 0; }, &row,
      nullptr);
  sqlite3_close(db);
  EXPECT_EQ(row.rfind("2026-04-17T08:30:20Z|Microsoft Windows 10 专业版|{}|1|{", 0), 0u) << row;
  EXPECT_NE(row.find(R"("DocShellApp":"wps")"), std::string::npos) << row;
}

TEST(CheckinStore, ReportsAnUnusableFile) {
  test::ScratchDir dir;
  std::string error;
  EXPECT_FALSE(CheckinStore::Open(dir.Write("not-a-db", std::string(4096, 'x')), error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(CheckinStore::Open(dir.File("no/such/folder/c.db"), error));
}

}  // namespace
}  // namespace zel::svc
