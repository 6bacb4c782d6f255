#include "CommandLine.h"

#include <gtest/gtest.h>

namespace zel::svc {
namespace {

TEST(CommandLine, ReadsServeAndPublish) {
  ParsedCommand c = ParseCommandLine(
      {"serve", "--port", "0", "--catalog", "c.json", "--db", "c.db", "--packages", "p", "--test-control"});
  ASSERT_EQ(c.kind, ParsedCommand::kServe) << c.error;
  EXPECT_EQ(c.serve.server.host, "127.0.0.1");
  EXPECT_EQ(c.serve.server.port, 0);
  EXPECT_EQ(c.serve.server.update_path, "/zelguard/update1");
  EXPECT_EQ(c.serve.db_path, "c.db");
  EXPECT_TRUE(c.serve.server.test_control);

  c = ParseCommandLine({"publish", "--catalog", "c.json", "--version", "2.1.0", "--package", "p.exe", "--url",
                        "http://h/p.exe", "--reinstall", "1", "--latest", "--policy", "want-full-profile",
                        "on"});
  ASSERT_EQ(c.kind, ParsedCommand::kPublish) << c.error;
  EXPECT_EQ(c.publish.version, "2.1.0");
  EXPECT_EQ(c.publish.url, "http://h/p.exe");
  EXPECT_TRUE(c.publish.reinstall && c.publish.latest);
  EXPECT_TRUE(c.publish.set_want_full_profile && c.publish.policy_changes.want_full_profile);
  EXPECT_FALSE(c.publish.set_update_url);

  // Policies alone; an empty update-url clears it.
  c = ParseCommandLine({"publish", "--catalog", "c.json", "--policy", "full-profile-every-days", "30",
                        "--policy", "update-url", ""});
  ASSERT_EQ(c.kind, ParsedCommand::kPublish) << c.error;
  EXPECT_FALSE(c.publish.version);
  EXPECT_EQ(c.publish.policy_changes.full_profile_every_days, 30);
  EXPECT_TRUE(c.publish.set_update_url);
  EXPECT_FALSE(c.publish.set_want_full_profile);
}

TEST(CommandLine, RefusesIncompleteOrContradictoryCommands) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"start"},
      {"serve", "--db", "d", "--packages", "p"},
      {"serve", "--catalog", "c", "--db", "d", "--packages", "p", "--port", "65536"},
      {"serve", "--catalog", "c", "--db", "d", "--packages", "p", "--path", "zelguard"},
      {"serve", "--catalog", "c", "--catalog", "c2", "--db", "d", "--packages", "p"},
      {"serve", "--catalog", "c", "--db", "d", "--packages"},
      {"serve", "--catalog", "c", "--db", "d", "--packages", "p", "--verbose"},
      {"publish", "--catalog", "c"},
      {"publish", "--catalog", "c", "--version", "2.1.0", "--package", "p.exe"},
      {"publish", "--catalog", "c", "--version", "v2", "--package", "p.exe", "--url", "u"},
      {"publish", "--catalog", "c", "--version", "2.1", "--package", "p", "--url", "u", "--reinstall", "yes"},
      {"publish", "--catalog", "c", "--package", "p.exe", "--url", "u"},
      {"publish", "--catalog", "c", "--policy", "want-full-profile", "yes"},
      {"publish", "--catalog", "c", "--policy", "colour", "blue"},
      {"publish", "--catalog", "c", "--policy", "want-full-profile"},
      {"report"},
  };
  for (const auto& args : cases) {
    ParsedCommand c = ParseCommandLine(args);
    std::string joined;
    for (const auto& a : args) joined += a + " ";
    EXPECT_EQ(c.kind, ParsedCommand::kError) << joined;
    EXPECT_FALSE(c.error.empty()) << joined;
  }
}

}  // namespace
}  // namespace zel::svc
