#include "CheckinStore.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "TestSupport.h"

namespace zel::svc {
namespace {

constexpr std::int64_t kT0 = 1776414600;  // 2026-04-17T08:30:00Z

UpdateQuery Query(const std::string& text) {
  UpdateQuery q;
  q.text = text;
  EXPECT_EQ(ParseQueryFields(text, q), "");
  return q;
}

TEST(CheckinStore, RecordsCheckinsAndSummarisesInstallations) {
  test::ScratchDir dir;
  std::string error;
  auto store = CheckinStore::Open(dir.File("c.db"), error);
  ASSERT_TRUE(store) << error;

  const UpdateQuery a_short = Query(test::ShortQuery("1.0.0", "A"));
  const UpdateQuery a_full = Query(test::FullQuery("1.0.0", "A", "excel", "16"));
  const UpdateQuery a_newer = Query(test::ShortQuery("2.0.0", "A"));
  const UpdateQuery b_full = Query(test::FullQuery("1.0.0", "B", "wps", "11"));
  const UpdateQuery c_short = Query(test::ShortQuery("1.0.0", "C"));
  ASSERT_TRUE(store->Record({kT0, "127.0.0.1", &a_short, 32}));
  ASSERT_TRUE(store->Record({kT0 + 10, "127.0.0.1", &a_full, 33}));
  ASSERT_TRUE(store->Record({kT0 + 86400, "127.0.0.1", &a_newer, 31}));
  ASSERT_TRUE(store->Record({kT0 + 20, "127.0.0.2", &b_full, 33}));
  ASSERT_TRUE(store->Record({kT0 + 30, "127.0.0.3", &c_short, 33}));
  EXPECT_FALSE(store->Record({kT0, "", nullptr, 31}));

  EXPECT_EQ(store->CountCheckins(), 5);
  EXPECT_EQ(store->LastFullProfile("A"), kT0 + 10);
  EXPECT_EQ(store->LastFullProfile("C"), std::nullopt);
  EXPECT_EQ(store->LastFullProfile("nobody"), std::nullopt);

  // One installation each, by its latest check-in and its latest full profile.
  EXPECT_EQ(store->InstallationsByVersion(), (CountedValues{{"1.0.0", 2}, {"2.0.0", 1}}));
  EXPECT_EQ(store->InstallationsByOfficeSuite(),
            (CountedValues{{"(no full profile)", 1}, {"excel 16", 1}, {"wps 11", 1}}));
  store.reset();

  // The columns a vendor queries by hand, readable while the file stays in use.
  auto reopened = CheckinStore::Open(dir.File("c.db"), error);
  ASSERT_TRUE(reopened) << error;
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open_v2(dir.File("c.db").c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  sqlite3_stmt* s = nullptr;
  ASSERT_EQ(
      sqlite3_prepare_v2(db,
                         "SELECT time, os_name, office_addins, action, full_profile, fields FROM checkins "
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
  EXPECT_EQ(sqlite3_column_int(s, 3), 33);
  EXPECT_EQ(sqlite3_column_int(s, 4), 1);
  EXPECT_NE(text(5).find(R"("DocShellApp":"wps")"), std::string::npos);
  sqlite3_finalize(s);
  sqlite3_close(db);
}

TEST(CheckinStore, ReportsAnUnusableFile) {
  test::ScratchDir dir;
  dir.Write("not-a-db", std::string(4096, 'x'));
  std::string error;
  EXPECT_FALSE(CheckinStore::Open(dir.File("not-a-db"), error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(CheckinStore::Open(dir.File("no/such/folder/c.db"), error));
}

}  // namespace
}  // namespace zel::svc
