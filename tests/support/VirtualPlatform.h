// A platform on a virtual clock: sleeping advances the clock at once and runs what
// was scheduled for the time passed; pumping is counted. The services (HTTP client,
// compress2, WMI, automation servers) come from the platform that was in force
// before, unless a test replaces them. Installs itself for its lifetime.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "system/HttpClient.h"
#include "system/Platform.h"
#include "system/Wmi.h"

namespace zel::test {

class VirtualPlatform final : public Platform {
 public:
  VirtualPlatform() : base_(CurrentPlatform()), scope_(*this) {}  // neither copied nor moved, as its scope

  void SleepMs(std::uint32_t ms) override {
    ++sleeps;
    now += ms;
    if (then_ && at_ <= now) std::exchange(then_, nullptr)();
  }
  // Runs `then` during the sleep that passes the virtual time `at`.
  void At(std::uint64_t at, std::function<void()> then) {
    at_ = at;
    then_ = std::move(then);
  }
  void PumpMessages() override { ++pumps; }
  CivilDate Today() override { return today; }
  int AskUser(const std::string& text, const std::string& caption, unsigned) override {
    questions.push_back(text);
    captions.push_back(caption);
    return answer;
  }
  bool IsWinXPOrOlder() override { return xp; }
  bool IsElevated() override { return false; }
  std::unique_ptr<HttpClient> NewHttpClient() override {
    return newHttpClient ? newHttpClient() : base_.NewHttpClient();
  }
  Compress2Fn Compress2() override { return compress2 ? *compress2 : base_.Compress2(); }
  std::unique_ptr<ClsWMI> BindWmi() override { return bindWmi ? bindWmi() : base_.BindWmi(); }
  std::optional<AutomationServerFacts> AskAutomationServer(const std::string& progId) override {
    return askAutomationServer ? askAutomationServer(progId) : base_.AskAutomationServer(progId);
  }

  std::uint64_t now = 0;  // virtual milliseconds since the platform was made
  int sleeps = 0, pumps = 0;
  CivilDate today{2026, 4, 17};
  int answer = 0;                      // what every message box answers
  std::vector<std::string> questions;  // the texts of the message boxes shown
  std::vector<std::string> captions;   // and their captions
  bool xp = false;
  std::function<std::unique_ptr<HttpClient>()> newHttpClient;  // replaces the base's client
  std::optional<Compress2Fn> compress2;                        // replaces the base's zlib (null: none)
  std::function<std::unique_ptr<ClsWMI>()> bindWmi;            // replaces the base's WMI
  // Replaces the base's automation servers.
  std::function<std::optional<AutomationServerFacts>(const std::string& progId)> askAutomationServer;

 private:
  std::uint64_t at_ = 0;
  std::function<void()> then_;
  Platform& base_;
  PlatformScope scope_;
};

}  // namespace zel::test
