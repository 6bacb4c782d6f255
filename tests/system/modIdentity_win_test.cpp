// The installation identity against a real settings file, with a machine UUID chosen
// by the test.
#include <gtest/gtest.h>

#include <regex>

#include "profile/ClsWMI.h"
#include "settings/IniOperation.h"
#include "system/ScratchFolders.h"
#include "system/modIdentity.h"

namespace zel {
namespace {

class MachineUuid final : public ClsWMI {
 public:
  explicit MachineUuid(std::string uuid) : uuid_(std::move(uuid)) {}
  bool getOsInfo(std::string&, std::string&) override { return false; }
  bool getCpuInfo(std::string&, std::string&) override { return false; }
  bool getUUIDInfo(std::string& retUUID) override {
    retUUID = uuid_;
    return true;
  }
  bool IsExistProcess(const std::string&) override { return false; }
  bool TerminateProcess(const std::string&) override { return false; }
  bool IsConnectedNetWork(const std::string&) override { return false; }

 private:
  std::string uuid_;
};

class InstalledUuid : public ::testing::Test {
 protected:
  std::string Stored() { return IniRead(path_, "general", "InstalledUUID", "<unset>"); }

  test::ScratchFolders scratch;
  std::string path_ = scratch.root + "\\config.dat";
};

// The machine's UUID, unless it is a placeholder: then the stored one, unless that is a
// placeholder too: then one generated and stored for good (nullptr: a generated one).
TEST_F(InstalledUuid, PlaceholdersGiveWayToTheMachineOrOneGeneratedUuid) {
  const struct {
    const char *stored, *machine, *expected;
  } cases[] = {
      {"", "FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF", nullptr},
      {"00000000-0000-0000-0000-000000000000", "", nullptr},
      {"11111111-2222-3333-4444-555555555555", "FEFEFEFE-FEFE-FEFE-FEFE-FEFEFEFEFEFE",
       "11111111-2222-3333-4444-555555555555"},
      {"11111111-2222-3333-4444-555555555555", "4C4C4544-0035-3010-8044-B4C04F583432",
       "4C4C4544-0035-3010-8044-B4C04F583432"},
      // Lower-case digits in a placeholder's pattern are the machine's own report.
      {"", "ffffffff-ffff-ffff-ffff-ffffffffffff", "ffffffff-ffff-ffff-ffff-ffffffffffff"},
  };
  for (const auto& c : cases) {
    IniWrite(path_, "general", "InstalledUUID", c.stored);
    MachineUuid machine(c.machine);
    const std::string uuid = GetInstalledUUID(machine, path_);
    if (c.expected)
      EXPECT_EQ(uuid, c.expected) << c.machine;
    else
      EXPECT_TRUE(std::regex_match(uuid, std::regex("[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}"))) << uuid;
    EXPECT_EQ(Stored(), uuid) << c.machine;
    EXPECT_EQ(GetInstalledUUID(machine, path_), uuid) << c.machine;
  }
}

}  // namespace
}  // namespace zel
