// The real program's checking run, started from a product folder of the test's.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "support/E2eWorld_win.h"
#include "support/RequestCatcher_win.h"
#include "system/Text_win.h"

namespace zel::test {
namespace {

// No executable of the product carries a version (the updater runs under another name,
// so not even its own file counts): the run asks with 0.0.0 and leaves the versions
// recorded earlier as they are.
TEST(CheckingRun, ProductWithoutVersionsLeavesTheRecordedVersions) {
  World world("unversioned");
  const std::string updater = world.InstallUpdater();
  ASSERT_NE(updater, "");
  const std::string program = world.ProductDir() + "zelupdater.exe";
  ASSERT_TRUE(MoveFileW(Widen(updater).c_str(), Widen(program).c_str()));
  // Whatever the connectivity probe finds here, the run ends soon: a query gets the
  // answer "latest version" from this listener.
  OneRequestCatcher service(R"({"code":1,"message":"","data":{"action":"31"}})");
  ASSERT_NE(service.Port(), 0);
  CreateDirectoryW(Widen(world.UserDataDir()).c_str(), nullptr);
  ASSERT_TRUE(WriteBytes(world.ConfigPath(),
                             "[general]\r\nUpdateURL=http://127.0.0.1:" + std::to_string(service.Port()) +
                                 "/\r\n[versions]\r\nLocalAppVer=1.0.1\r\nServerAppVer=1.0.2\r\n"));

  const Child run = world.Start(program, "");
  ASSERT_TRUE(run.WaitExit(120000));
  const std::string config = world.ConfigPath();
  // The first start is recorded just before the versions: the run got that far.
  EXPECT_EQ(IniValue(config, "general", "InstalledDate"), TodayDateText());
  EXPECT_EQ(IniValue(config, "versions", "LocalAppVer"), "1.0.1");
  EXPECT_EQ(IniValue(config, "versions", "ServerAppVer"), "1.0.2");
}

}  // namespace
}  // namespace zel::test
