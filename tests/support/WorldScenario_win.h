// The base of the scenarios that run the real zelpatcher.exe inside an end-to-end
// world (tests/e2e/world): a world of folders, the update service's test control, and
// the program as a user starts it and sees it end.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <nlohmann/json.hpp>
#include <string>

#include "settings/CheckSchedule.h"
#include "settings/SettingsFile.h"
#include "support/E2eWorld_win.h"
#include "support/WorldControl_win.h"
#include "system/Text.h"
#include "system/Text_win.h"

namespace zel::test {

class WorldScenario : public ::testing::Test {
 public:
  static constexpr DWORD kRunMs = 240000;

  void SetUp() override {
    if (WorldSetting("ZEL_WORLD_SERVICE").empty())
      GTEST_SKIP() << "runs inside the end-to-end world: tests/e2e/world/run-in-world.sh PROGRAM";
    ASSERT_TRUE(service_.Reset()) << "the update service's test control does not answer";
  }

  // A settings file holding these lines of section general.
  void Config(const std::string& general) const {
    CreateDirectoryW(Widen(world_.UserDataDir()).c_str(), nullptr);
    ASSERT_TRUE(WriteBytes(world_.ConfigPath(), "[general]\r\n" + general));
  }
  // An account that has run the updater before, and not today; `more` follows in the
  // settings file (further sections).
  void EarlierRun(const std::string& more = "") const {
    Config("InstalledDate=02-03-2021\r\nLastCheckUpdate=01-01-2000\r\n" + more);
  }

  // The product folder product_ with the updater, its zlib1.dll and these files (see
  // World::InstallProduct).
  void InstallProduct(const std::map<std::string, std::string>& files) const {
    ASSERT_NE(world_.InstallProduct(files, product_), "");
  }

  // Starts the updater (of that name) of the product folder, as a standard user unless elevated.
  Child Start(const std::string& arguments, bool elevated = false,
              const char* updater = "zelpatcher.exe") const {
    return world_.Start(product_ + updater, arguments, elevated);
  }
  // The status shown once "退出" is enabled, i.e. the run has reached its end; then
  // clicks "退出" and waits for the process to end.
  std::string Finish(const Child& run, DWORD timeoutMs = kRunMs) const {
    const HWND window = FindProgressWindow(run.Pid(), 30000);
    std::wstring status;
    if (!window || !WaitForEnding(window, timeoutMs, status)) {
      ADD_FAILURE() << "the run did not reach its end; status: " << (window ? Narrow(StatusText(window)) : "");
      return "<no end>";
    }
    ClickButton(window);
    EXPECT_TRUE(run.WaitExit(15000)) << "still running after 退出";
    return Narrow(status);
  }

  // The requests of that method the service received since its last reset whose
  // target begins with prefix, as the service reports them.
  nlohmann::json Received(const std::string& method, const std::string& prefix = "/") const {
    nlohmann::json picked = nlohmann::json::array();
    const nlohmann::json all = nlohmann::json::parse(service_.Requests(), nullptr, false);
    if (all.is_array())
      for (const auto& r : all)
        if (r["method"] == method && r["target"].get<std::string>().starts_with(prefix)) picked.push_back(r);
    return picked;
  }
  // A header of a received request, "" without it.
  static std::string Header(const nlohmann::json& request, const std::string& name) {
    for (const auto& h : request["headers"])
      if (AsciiLower(h[0].get<std::string>()) == name) return h[1];
    return "";
  }

  std::string Setting(const char* section, const char* key) const {
    return SettingsFile(world_.ConfigPath()).Read(section, key, "");
  }

  World world_;
  std::string product_ = world_.ProductDir();
  ServiceControl service_{WorldSetting("ZEL_WORLD_SERVICE")};
};

}  // namespace zel::test
