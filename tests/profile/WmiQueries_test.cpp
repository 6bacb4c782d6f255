#include "profile/WmiQueries.h"

#include <gtest/gtest.h>

namespace zel {
namespace {

TEST(WmiQueries, NamesAndHostsGoVerbatimBetweenTheQuotes) {
  EXPECT_EQ(ProcessQuery("zelpatcher.exe"), "SELECT * FROM Win32_Process WHERE Name = 'zelpatcher.exe'");
  EXPECT_EQ(ProcessQuery("o'brien.exe"), "SELECT * FROM Win32_Process WHERE Name = 'o'brien.exe'");
  EXPECT_EQ(PingQuery("update.example.com"),
            "Select * From Win32_PingStatus Where Address = 'update.example.com'");
  EXPECT_EQ(TaskkillCommand("zel tray.exe"), "taskkill.exe /f /im zel tray.exe");
}

TEST(PingHostOf, TakesTheHostBetweenSchemeAndPath) {
  EXPECT_EQ(PingHostOf("https://host/x"), "host");
  EXPECT_EQ(PingHostOf("http://host:8080/x/y"), "host:8080");
  EXPECT_EQ(PingHostOf("http://a/b://c"), "a");
  EXPECT_EQ(PingHostOf("host.example.com"), "host.example.com");
  EXPECT_EQ(PingHostOf("host/x"), "host");
  EXPECT_EQ(PingHostOf("https://host"), "host");
}

TEST(PingHostOf, LeadingSlashOrNothingLeftIsKept) {
  EXPECT_EQ(PingHostOf("/x"), "/x");
  EXPECT_EQ(PingHostOf("/x/y"), "/x/y");
  EXPECT_EQ(PingHostOf("https:///x"), "/x");
  EXPECT_EQ(PingHostOf("https://"), "");
  EXPECT_EQ(PingHostOf(""), "");
}

}  // namespace
}  // namespace zel
