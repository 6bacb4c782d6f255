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
  void Store(const std::string& uuid) { IniWrite(path_, "general", "InstalledUUID", uuid); }
  static bool IsGenerated(const std::string& uuid) {
    return std::regex_match(uuid, std::regex("[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}"));
  }

  test::ScratchFolders scratch;
  std::string path_ = scratch.root + "\\config.dat";
};

TEST_F(InstalledUuid, PlaceholdersGiveOneGeneratedUuidThatIsKept) {
  MachineUuid placeholder("FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF");
  const std::string first = GetInstalledUUID(placeholder, path_);
  EXPECT_TRUE(IsGenerated(first)) << first;
  EXPECT_EQ(Stored(), first);
  EXPECT_EQ(GetInstalledUUID(placeholder, path_), first);

  Store("00000000-0000-0000-0000-000000000000");
  MachineUuid empty("");
  const std::string second = GetInstalledUUID(empty, path_);
  EXPECT_TRUE(IsGenerated(second)) << second;
  EXPECT_EQ(Stored(), second);
}

TEST_F(InstalledUuid, UsableMachineUuidReplacesTheStoredOne) {
  Store("11111111-2222-3333-4444-555555555555");
  // Lower-case digits in a placeholder's pattern are the machine's own report.
  for (const char* uuid : {"4C4C4544-0035-3010-8044-B4C04F583432", "ffffffff-ffff-ffff-ffff-ffffffffffff"}) {
    MachineUuid machine(uuid);
    EXPECT_EQ(GetInstalledUUID(machine, path_), uuid);
    EXPECT_EQ(Stored(), uuid);
  }
}

}  // namespace
}  // namespace zel
