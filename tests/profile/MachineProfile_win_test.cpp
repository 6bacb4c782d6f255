// The machine profile from this machine's registry and screen, and a WMI service the
// test chooses; the registry is a private sandbox for each test.

#include <filesystem>
#include <stdexcept>

#include "profile/MachineProfile.h"
#include "settings/SettingsFile.h"
#include "support/FakeWmi.h"
#include "support/RegistrySandbox_win.h"
#include "support/VirtualPlatform.h"
#include "system/OsInfo.h"
#include "system/Wmi.h"

namespace zel {
namespace {

// A WMI service that reports a Chinese caption, Windows 10 and a 64-bit processor;
// with uuidFails its UUID query throws, as any failure inside a step would.
struct Wmi10 : test::FakeWmi {
  Wmi10() {
    os = {"\u4E2D", "10.0"};
    cpu = {"CPU", "64"};
    uuid = "4C4C4544-0035-3010-8044-B4C04F583432";
  }
  WmiAnswer<std::string> getUUIDInfo() override {
    if (uuidFails) throw std::runtime_error("uuid");
    return FakeWmi::getUUIDInfo();
  }
  bool uuidFails = false;
};

// A machine with an https handler and a document handler.
class MachineProfile : public test::RegistrySandbox {
 protected:
  void SetUp() override {
    RegistrySandbox::SetUp();
    Set(HKEY_CLASSES_ROOT, "https\\shell\\open\\command", "", "C:\\Tools\\Browser.EXE -url \"%1\"");
    Set(HKEY_CLASSES_ROOT, ".docx", "", "Zel.Doc");
    Set(HKEY_CLASSES_ROOT, "Zel.Doc\\shell\\Open\\command", "", "C:\\Apps\\Editor.exe");
  }

  test::ScratchFolders scratch_;
  SettingsFile settings_{scratch_.root + "\\config.dat"};
  test::VirtualPlatform platform_;
};

const std::string kHttpsUserChoice =
    "Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\https\\UserChoice";

// The WMI service is each row's choice: one that answers, none, one whose queries fail,
// or one whose UUID query throws. Each failure keeps what was collected before it and
// defaults the rest; the service is bound once for the run.
TEST_F(MachineProfile, EveryFactCollectedUpToTheFirstFailureAndTheHttpsHandlerFromTheUserChoice) {
  const auto [width, height] = GetScreenSize();
  const std::string handlerOnly = DocShellProfileText("c:\\apps\\editor.exe", "0", "{}");
  const MachineFacts collected = {.uuid = "4C4C4544-0035-3010-8044-B4C04F583432",
                                  .osMajorVersion = GetOSMajorVersion(),
                                  .arch = "64",
                                  .osName = "\u4E2D",
                                  .osVer = "10.0",
                                  .cpu = "CPU",
                                  .resolution = ResolutionText(width, height),
                                  .httpsShellApp = "browser",
                                  .docShellProfile = handlerOnly};
  MachineFacts noWmi, queriesFail = collected, uuidFails = collected;
  noWmi.osMajorVersion = GetOSMajorVersion();
  noWmi.docShellProfile = handlerOnly;
  queriesFail.arch = queriesFail.osName = queriesFail.osVer = queriesFail.cpu = queriesFail.uuid = "";
  uuidFails.uuid = "";
  uuidFails.resolution = "0*0";
  uuidFails.httpsShellApp = "unknown";
  // WMI bound, its queries failing, its UUID query throwing, and the facts sent (a uuid
  // of "" in a row with WMI: one generated and stored).
  const std::tuple<const char*, bool, bool, bool, MachineFacts> rows[] = {
      {"every fact", true, false, false, collected},
      {"no WMI", false, false, false, noWmi},
      {"failing queries", true, true, false, queriesFail},
      {"a throwing step", true, false, true, uuidFails}};
  for (const auto& [what, bound, failing, throwing, sent] : rows) {
    SCOPED_TRACE(what);
    settings_.Write("general", "InstalledUUID", "");
    int binds = 0;
    platform_.bindWmi = [&]() -> std::unique_ptr<ClsWMI> {
      ++binds;
      if (!bound) return nullptr;
      auto wmi = std::make_unique<Wmi10>();
      wmi->uuidFails = throwing;
      wmi->queriesFail = failing;
      return wmi;
    };
    std::unique_ptr<ClsWMI> wmi;
    const std::string profile = GetMachineProfile(true, settings_, wmi);
    MachineFacts facts = sent;
    const std::string stored = settings_.Read("general", "InstalledUUID", "");
    if (failing) {
      EXPECT_EQ(stored.size(), 36u);
      facts.uuid = stored;
    }
    const std::string brief = GetMachineProfile(false, settings_, wmi);
    EXPECT_EQ(std::tuple(profile, brief, stored, binds),
              std::tuple(BuildMachineProfile(facts, true), BuildMachineProfile(facts, false),
                         throwing ? "" : facts.uuid, bound ? 1 : 2));
  }

  // The https handler: the user's choice, or else the https class.
  Set(HKEY_CURRENT_USER, kHttpsUserChoice, "ProgId", "");
  EXPECT_EQ(GetHttpsShellApp(), "browser");
  // A chosen class without a command is not replaced by the https class.
  Set(HKEY_CURRENT_USER, kHttpsUserChoice, "ProgId", "ChromeHTML");
  EXPECT_EQ(GetHttpsShellApp(), "unknown");
  Set(HKEY_CLASSES_ROOT, "ChromeHTML\\shell\\open\\command", "",
      "\"C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe\" --single-argument %1");
  EXPECT_EQ(GetHttpsShellApp(), "chrome");
}

}  // namespace
}  // namespace zel
