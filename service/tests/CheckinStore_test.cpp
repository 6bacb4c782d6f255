#include "CheckinStore.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "TestSupport.h"

namespace zel::svc {
namespace {

constexpr std::int64_t kT0 = 1776414600;  // 2026-04-17T08:30:00Z

UpdateQuery Query(const std::string& text) {
  UpdateQuery q;
  EXPECT_EQ(ParseQueryFields(text, q), "");
  return q;
}

TEST(CheckinStore, RecordsFullProfilesAndSummarisesInstallations) {
  test::ScratchDir dir;
  std::string error;
  auto store = CheckinStore::Open(dir.File("c.db"), error);
  ASSERT_TRUE(store) << error;
  const UpdateQuery queries[] = {
      Query(test::ShortQuery("1.0.0", "A")), Query(test::FullQuery("1.0.0", "A", "excel", "16")),
      Query(test::ShortQuery("2.0.0", "A")), Query(test::FullQuery("1.0.0", "B", "wps", "11")),
      Query(test::ShortQuery("1.0.0", "C"))};
  const std::int64_t times[] = {kT0, kT0 + 10, kT0 + 86400, kT0 + 20, kT0 + 30};
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(store->Record({times[i], "127.0.0.1", &queries[i], 33}));
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
  sqlite3_stmt* s = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db,
                               "SELECT time, os_name, office_addins, full_profile, fields FROM checkins "
                               "WHERE uuid = 'B'",
                               -1, &s, nullptr),
            SQLITE_OK);
  ASSERT_EQ(sqlite3_step(s), SQLITE_ROW);
  const auto text = [s](int i) {
    return std::string(reinterpret_cast<const char*>(sqlite3_column_text(s, i)));
  };
  EXPECT_EQ(text(0), "2026-04-17T08:30:20Z");
  EXPECT_EQ(text(1), "Microsoft Windows 10 专业版");
  EXPECT_EQ(text(2), "{}");
  EXPECT_EQ(sqlite3_column_int(s, 3), 1);
  EXPECT_NE(text(4).find(R"("DocShellApp":"wps")"), std::string::npos);
  sqlite3_finalize(s);
  sqlite3_close(db);
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
