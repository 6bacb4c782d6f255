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

using MachineProfile = test::RegistrySandbox;

const std::string kHttpsUserChoice =
    "Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\https\\UserChoice";

TEST_F(MachineProfile, HttpsHandlerFromTheUserChoiceOrElseTheHttpsClass) {
  EXPECT_EQ(GetHttpsShellApp(), "unknown");
  Set(HKEY_CLASSES_ROOT, "https\\shell\\open\\command", "", "C:\\Tools\\Browser.EXE -url \"%1\"");
  EXPECT_EQ(GetHttpsShellApp(), "browser");
  Set(HKEY_CURRENT_USER, kHttpsUserChoice, "ProgId", "");
  EXPECT_EQ(GetHttpsShellApp(), "browser");
  // A chosen class without a command is not replaced by the https class.
  Set(HKEY_CURRENT_USER, kHttpsUserChoice, "ProgId", "ChromeHTML");
  EXPECT_EQ(GetHttpsShellApp(), "unknown");
  Set(HKEY_CLASSES_ROOT, "ChromeHTML\\shell\\open\\command", "",
      "\"C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe\" --single-argument %1");
  EXPECT_EQ(GetHttpsShellApp(), "chrome");
}

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

// The profile of a machine with an https handler and a document handler, whose WMI
// service the test chooses.
class MachineFactsCollection : public test::RegistrySandbox {
 protected:
  void SetUp() override {
    RegistrySandbox::SetUp();
    Set(HKEY_CLASSES_ROOT, "https\\shell\\open\\command", "", "C:\\Tools\\Browser.EXE -url \"%1\"");
    Set(HKEY_CLASSES_ROOT, ".docx", "", "Zel.Doc");
    Set(HKEY_CLASSES_ROOT, "Zel.Doc\\shell\\Open\\command", "", "C:\\Apps\\Editor.exe");
    platform_.bindWmi = [this]() -> std::unique_ptr<ClsWMI> {
      ++binds_;
      if (!wmiAnswers_) return nullptr;
      auto wmi = std::make_unique<Wmi10>();
      wmi->uuidFails = uuidFails_;
      wmi->queriesFail = queriesFail_;
      return wmi;
    };
  }
  std::string Profile(bool full) { return GetMachineProfile(full, settings_, wmi_); }
  // What every collected fact gives: the fake's answers and this machine's screen.
  static MachineFacts Collected() {
    const auto [width, height] = GetScreenSize();
    return {.uuid = "4C4C4544-0035-3010-8044-B4C04F583432",
            .osMajorVersion = GetOSMajorVersion(),
            .arch = "64",
            .osName = "\u4E2D",
            .osVer = "10.0",
            .cpu = "CPU",
            .resolution = ResolutionText(width, height),
            .httpsShellApp = "browser",
            .docShellProfile = HandlerOnly()};
  }
  static std::string HandlerOnly() { return DocShellProfileText("c:\\apps\\editor.exe", "0", "{}"); }
  std::string StoredUuid() const { return settings_.Read("general", "InstalledUUID", "<unset>"); }

  int binds_ = 0;
  // The machine's WMI service: none, one whose UUID query throws, or one whose
  // queries fail.
  bool wmiAnswers_ = true;
  bool uuidFails_ = false;
  bool queriesFail_ = false;

 private:
  test::ScratchFolders scratch_;
  SettingsFile settings_{scratch_.root + "\\config.dat"};
  test::VirtualPlatform platform_;
  std::unique_ptr<ClsWMI> wmi_;
};

TEST_F(MachineFactsCollection, EveryFactCollectedAndTheServiceBoundOnceForTheRun) {
  EXPECT_EQ(Profile(true), BuildMachineProfile(Collected(), true));
  EXPECT_EQ(StoredUuid(), Collected().uuid);
  EXPECT_EQ(Profile(false), BuildMachineProfile(Collected(), false));
  EXPECT_EQ(binds_, 1);
}

TEST_F(MachineFactsCollection, WithoutWmiOnlyTheDocumentProfileAndMajorVersionAreCollected) {
  wmiAnswers_ = false;
  MachineFacts defaults;
  defaults.osMajorVersion = GetOSMajorVersion();
  defaults.docShellProfile = HandlerOnly();
  EXPECT_EQ(Profile(true), BuildMachineProfile(defaults, true));
  EXPECT_EQ(StoredUuid(), "<unset>");
}

TEST_F(MachineFactsCollection, FailingQueriesSendTheirItemsEmptyAndEverythingElseIsCollected) {
  queriesFail_ = true;
  const std::string profile = Profile(true);
  MachineFacts facts = Collected();
  facts.arch = facts.osName = facts.osVer = facts.cpu = "";
  facts.uuid = StoredUuid();  // the machine reported none, so one was generated
  EXPECT_EQ(facts.uuid.size(), 36u);
  EXPECT_EQ(profile, BuildMachineProfile(facts, true));
}

TEST_F(MachineFactsCollection, AFailingStepKeepsEarlierFactsAndDefaultsTheRestUpToTheHttpsHandler) {
  uuidFails_ = true;
  MachineFacts facts = Collected();
  facts.uuid = "";
  facts.resolution = "0*0";
  facts.httpsShellApp = "unknown";
  EXPECT_EQ(Profile(true), BuildMachineProfile(facts, true));
}

}  // namespace
}  // namespace zel
