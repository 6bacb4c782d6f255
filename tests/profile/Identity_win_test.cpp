// The installation identity against a real settings file, with a machine UUID chosen
// by the test.
#include <gtest/gtest.h>

#include <regex>

#include "profile/Identity.h"
#include "settings/SettingsFile.h"
#include "support/FakeWmi.h"
#include "support/ScratchFolders_win.h"

namespace zel {
namespace {

class InstalledUuid : public ::testing::Test {
 protected:
  std::string Stored() { return settings_.Read("general", "InstalledUUID", "<unset>"); }

  test::ScratchFolders scratch;
  SettingsFile settings_{scratch.root + "\\config.dat"};
};

// The machine's UUID, unless it is a placeholder: then the stored one, unless that is a
// placeholder too: then one generated and stored for good (nullptr: a generated one).
TEST_F(InstalledUuid, PlaceholdersGiveWayToTheMachineOrOneGeneratedUuid) {
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"", "FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF", nullptr},
      {"00000000-0000-0000-0000-000000000000", "", nullptr},  // a placeholder stored counts as none
      {"11111111-2222-3333-4444-555555555555", "FEFEFEFE-FEFE-FEFE-FEFE-FEFEFEFEFEFE",
       "11111111-2222-3333-4444-555555555555"},
      {"11111111-2222-3333-4444-555555555555", "4C4C4544-0035-3010-8044-B4C04F583432",
       "4C4C4544-0035-3010-8044-B4C04F583432"},
  };
  for (const auto& [stored, reported, expected] : cases) {
    SCOPED_TRACE(reported);
    settings_.Write("general", "InstalledUUID", stored);
    test::FakeWmi machine;
    machine.uuid = reported;
    const std::string uuid = GetInstalledUUID(machine, settings_);
    if (expected)
      EXPECT_EQ(uuid, expected);
    else
      EXPECT_TRUE(std::regex_match(uuid, std::regex("[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}")) &&
                  !IsInvalidUUID(uuid))
          << uuid;
    EXPECT_EQ(Stored() + " " + GetInstalledUUID(machine, settings_), uuid + " " + uuid);
  }
}

// At start-up a usable stored identity stays, whatever the machine reports; a
// placeholder is decided again, here in favour of the machine's.
TEST_F(InstalledUuid, EnsureReplacesOnlyAPlaceholderStoredUuid) {
  const std::string usable = "11111111-2222-3333-4444-555555555555";
  const std::string machineUuid = "4C4C4544-0035-3010-8044-B4C04F583432";
  for (const auto& [stored, expected] :
       {std::pair{usable, usable}, {"00000000-0000-0000-0000-000000000000", machineUuid}}) {
    settings_.Write("general", "InstalledUUID", stored);
    test::FakeWmi machine;
    machine.uuid = machineUuid;
    EnsureInstalledUUID(machine, settings_);
    EXPECT_EQ(Stored(), expected) << stored;
  }
}

}  // namespace
}  // namespace zel
