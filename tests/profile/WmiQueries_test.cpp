#include "profile/WmiQueries.h"

#include <gtest/gtest.h>

namespace zel {
namespace {

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
