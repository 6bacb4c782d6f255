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
// At start-up a usable stored identity stays, whatever the machine reports; only a
// placeholder is decided again (the last column: what start-up leaves stored).
TEST_F(InstalledUuid, PlaceholdersGiveWayToTheMachineOrOneGeneratedUuid) {
  const std::string usable = "11111111-2222-3333-4444-555555555555",
                    zeros = "00000000-0000-0000-0000-000000000000";
  const std::string machineUuid = "4C4C4544-0035-3010-8044-B4C04F583432";
  const std::tuple<std::string, std::string, const char*, const char*> cases[] = {
      {"", "FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF", nullptr, nullptr},
      {zeros, "", nullptr, nullptr},  // a placeholder stored counts as none
      {usable, "FEFEFEFE-FEFE-FEFE-FEFE-FEFEFEFEFEFE", usable.c_str(), usable.c_str()},
      {usable, machineUuid, machineUuid.c_str(), usable.c_str()},
      {zeros, machineUuid, machineUuid.c_str(), machineUuid.c_str()},
  };
  for (const auto& [stored, reported, expected, ensured] : cases) {
    SCOPED_TRACE(stored + " / " + reported);
    test::FakeWmi machine;
    machine.uuid = reported;
    settings_.Write("general", "InstalledUUID", stored);
    EnsureInstalledUUID(machine, settings_);
    EXPECT_TRUE(!ensured || Stored() == ensured) << Stored();
    settings_.Write("general", "InstalledUUID", stored);
    const std::string uuid = GetInstalledUUID(machine, settings_);
    EXPECT_TRUE(expected ? uuid == expected
                         : std::regex_match(uuid, std::regex("[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}")) &&
                               !IsInvalidUUID(uuid))
        << uuid;
    EXPECT_EQ(Stored() + " " + GetInstalledUUID(machine, settings_), uuid + " " + uuid);
  }
}

}  // namespace
}  // namespace zel
