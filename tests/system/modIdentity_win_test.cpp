// The installation identity against real settings files, with a machine UUID chosen
// by the test.
#include <gtest/gtest.h>
#include <windows.h>

#include <regex>

#include "profile/ClsWMI.h"
#include "settings/IniOperation.h"
#include "system/TextWin.h"
#include "system/modIdentity.h"

namespace zel {
namespace {

class MachineUuid final : public ClsWMI {
 public:
  explicit MachineUuid(std::string uuid) : uuid_(std::move(uuid)) {}
  bool getOsInfo(std::string&, std::string&) override { return false; }
  bool getCpuInfo(std::string&, std::string&) override { return false; }
  bool getUUIDInfo(std::string& retUUID) override {
    ++queries;
    retUUID = uuid_;
    return true;
  }
  bool IsExistProcess(const std::string&) override { return false; }
  bool TerminateProcess(const std::string&) override { return false; }
  bool IsConnectedNetWork(const std::string&) override { return false; }

  int queries = 0;

 private:
  std::string uuid_;
};

constexpr char kUnset[] = "<unset>";

class InstalledUuid : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    path_ = FromAnsi(temp) + "zel identity " + std::to_string(GetCurrentProcessId()) + ".dat";
    DeleteFileA(ToAnsi(path_).c_str());
  }
  void TearDown() override { DeleteFileA(ToAnsi(path_).c_str()); }

  std::string Stored() { return IniRead(path_, "general", "InstalledUUID", kUnset); }
  void Store(const std::string& uuid) { IniWrite(path_, "general", "InstalledUUID", uuid); }

  static bool IsGeneratedForm(const std::string& uuid) {
    static const std::regex form("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}");
    return std::regex_match(uuid, form);
  }

  std::string path_;
};

TEST_F(InstalledUuid, PlaceholderMachineGetsOneGeneratedUuidThatIsKept) {
  MachineUuid machine("FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF");
  const std::string first = GetInstalledUUID(machine, path_);
  EXPECT_TRUE(IsGeneratedForm(first)) << first;
  EXPECT_EQ(Stored(), first);

  EXPECT_EQ(GetInstalledUUID(machine, path_), first);
  EXPECT_EQ(Stored(), first);
}

TEST_F(InstalledUuid, StoredPlaceholderIsReplacedByAGeneratedUuid) {
  Store("00000000-0000-0000-0000-000000000000");
  MachineUuid machine("");
  const std::string uuid = GetInstalledUUID(machine, path_);
  EXPECT_TRUE(IsGeneratedForm(uuid)) << uuid;
  EXPECT_EQ(Stored(), uuid);
}

TEST_F(InstalledUuid, UsableMachineUuidReplacesTheStoredOne) {
  Store("11111111-2222-3333-4444-555555555555");
  MachineUuid machine("4C4C4544-0035-3010-8044-B4C04F583432");
  EXPECT_EQ(GetInstalledUUID(machine, path_), "4C4C4544-0035-3010-8044-B4C04F583432");
  EXPECT_EQ(Stored(), "4C4C4544-0035-3010-8044-B4C04F583432");

  // Lower-case digits in a placeholder's pattern are the machine's own report.
  MachineUuid lower("ffffffff-ffff-ffff-ffff-ffffffffffff");
  EXPECT_EQ(GetInstalledUUID(lower, path_), "ffffffff-ffff-ffff-ffff-ffffffffffff");
  EXPECT_EQ(Stored(), "ffffffff-ffff-ffff-ffff-ffffffffffff");
}

TEST_F(InstalledUuid, EnsureAsksTheMachineOnlyWithoutAUsableStoredUuid) {
  MachineUuid machine("4C4C4544-0035-3010-8044-B4C04F583432");
  Store("11111111-2222-3333-4444-555555555555");
  EnsureInstalledUUID(machine, path_);
  EXPECT_EQ(machine.queries, 0);
  EXPECT_EQ(Stored(), "11111111-2222-3333-4444-555555555555");

  Store("FEFEFEFE-FEFE-FEFE-FEFE-FEFEFEFEFEFE");
  EnsureInstalledUUID(machine, path_);
  EXPECT_EQ(machine.queries, 1);
  EXPECT_EQ(Stored(), "4C4C4544-0035-3010-8044-B4C04F583432");

  DeleteFileA(ToAnsi(path_).c_str());
  EnsureInstalledUUID(machine, path_);
  EXPECT_EQ(machine.queries, 2);
  EXPECT_EQ(Stored(), "4C4C4544-0035-3010-8044-B4C04F583432");
}

TEST(NewGuidText, IsABracedUpperCaseGuidNewEachTime) {
  const std::string a = NewGuidText();
  const std::string b = NewGuidText();
  EXPECT_TRUE(std::regex_match(a, std::regex("\\{[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\\}"))) << a;
  EXPECT_NE(a, b);
}

}  // namespace
}  // namespace zel
