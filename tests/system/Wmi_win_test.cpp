// The WMI class against Wine's WMI service, with COM set up as the program's GUI
// thread does it.
#include "system/Wmi.h"

#include <gtest/gtest.h>
#include <objbase.h>
#include <windows.h>

#include "support/CmdlineEcho.h"
#include "system/Process_win.h"

namespace zel {
namespace {

class Wmi : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    const HRESULT hr = CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                                            RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
    ASSERT_TRUE(SUCCEEDED(hr) || hr == RPC_E_TOO_LATE);
  }
  static void TearDownTestSuite() { CoUninitialize(); }
  void SetUp() override { ASSERT_NE(wmi_ = BindWmiService(), nullptr); }
  std::unique_ptr<ClsWMI> wmi_;
};

TEST_F(Wmi, InformationQueriesAnswerTrimmedTexts) {
  const auto os = wmi_->getOsInfo();
  const auto cpu = wmi_->getCpuInfo();
  const auto uuid = wmi_->getUUIDInfo();
  EXPECT_TRUE(os.ok && cpu.ok && uuid.ok);
  EXPECT_EQ(cpu.value.addressWidth, "64");
  for (const std::string& text : {os.value.caption, os.value.version, cpu.value.name, uuid.value})
    EXPECT_TRUE(!text.empty() && text.front() != ' ' && text.back() != ' ') << '[' << text << ']';
}

TEST_F(Wmi, ProcessesAreFoundAndStoppedByImageName) {
  test::ScratchFolders scratch;
  scratch.Point(test::kEchoStayVariable, "20000");  // the peer stays for a while
  ProcessInfo peer;
  ASSERT_TRUE(StartProcess(test::EchoPeerPath(), "", peer));
  EXPECT_TRUE(wmi_->IsExistProcess(test::kEchoImageName) && !wmi_->IsExistProcess("zel-no-such-program.exe"));

  EXPECT_TRUE(wmi_->TerminateProcess(test::kEchoImageName) &&
              WaitForSingleObject(peer.process.Get(), 0) == WAIT_OBJECT_0);
  ::TerminateProcess(peer.process.Get(), 0);
  // A name whose quote breaks the query after the stop command counts as stopped.
  EXPECT_TRUE(wmi_->TerminateProcess("o'brien.exe"));
}

TEST_F(Wmi, PingAnswersForTheHostOfAnAddress) {
  for (const char* reachable : {"127.0.0.1", "http://127.0.0.1/zelupdate/query", "localhost"})
    EXPECT_TRUE(wmi_->IsConnectedNetWork(reachable)) << reachable;
  // "zel..invalid" is malformed, so the lookup fails here without asking a name
  // server; a port stays part of the host.
  for (const char* unreachable : {"zel..invalid", "http://127.0.0.1:80/x", "", "https://"})
    EXPECT_FALSE(wmi_->IsConnectedNetWork(unreachable)) << unreachable;
}

}  // namespace
}  // namespace zel
