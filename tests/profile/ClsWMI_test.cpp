// The WMI class against Wine's WMI service, with COM set up as the program's GUI
// thread does it.
#include "profile/ClsWMI.h"

#include <gtest/gtest.h>
#include <objbase.h>
#include <windows.h>

#include <thread>

#include "peers/CmdlineEcho.h"
#include "system/UniqueHandle.h"
#include "system/modProcess.h"

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

  void SetUp() override {
    wmi_ = ClsWMI::Create();
    ASSERT_NE(wmi_, nullptr);
  }

  // Starts the echo peer so that it stays for a while; its handle ends it in any case.
  UniqueKernelHandle StartStayingPeer() {
    SetEnvironmentVariableA(test::kEchoStayVariable, "20000");
    ProcessInfo info;
    const bool started = StartProcess(test::EchoPeerPath(), "", info);
    SetEnvironmentVariableA(test::kEchoStayVariable, nullptr);
    EXPECT_TRUE(started);
    return std::move(info.hProcess);
  }

  static bool Trimmed(const std::string& text) {
    return !text.empty() && text.front() != ' ' && text.back() != ' ';
  }

  std::unique_ptr<ClsWMI> wmi_;
};

TEST_F(Wmi, InformationQueriesAnswerTrimmedTexts) {
  std::string osName = "default", osVer = "default";
  EXPECT_TRUE(wmi_->getOsInfo(osName, osVer));
  EXPECT_TRUE(Trimmed(osName)) << osName;
  EXPECT_NE(osName, "default");
  EXPECT_TRUE(Trimmed(osVer)) << osVer;
  EXPECT_NE(osVer.find('.'), std::string::npos) << osVer;

  std::string cpuName, arch;
  EXPECT_TRUE(wmi_->getCpuInfo(cpuName, arch));
  EXPECT_TRUE(Trimmed(cpuName)) << cpuName;
  EXPECT_EQ(arch, "64");

  std::string uuid;
  EXPECT_TRUE(wmi_->getUUIDInfo(uuid));
  EXPECT_TRUE(Trimmed(uuid)) << uuid;
}

TEST_F(Wmi, ProcessesAreFoundByImageName) {
  UniqueKernelHandle peer = StartStayingPeer();
  ASSERT_TRUE(peer);
  EXPECT_TRUE(wmi_->IsExistProcess(test::kEchoImageName));
  EXPECT_FALSE(wmi_->IsExistProcess("zel-no-such-program.exe"));
  EXPECT_FALSE(wmi_->IsExistProcess("o'brien.exe"));  // the quote breaks the query
  ::TerminateProcess(peer.Get(), 0);
  WaitForSingleObject(peer.Get(), 10000);
}

TEST_F(Wmi, TerminateStopsEveryProcessOfTheName) {
  UniqueKernelHandle peer = StartStayingPeer();
  ASSERT_TRUE(peer);
  EXPECT_TRUE(wmi_->TerminateProcess(test::kEchoImageName));
  EXPECT_EQ(WaitForSingleObject(peer.Get(), 0), WAIT_OBJECT_0);
  EXPECT_FALSE(wmi_->IsExistProcess(test::kEchoImageName));

  // Nothing left to stop, and a name that breaks the query after the stop command:
  // both count as stopped.
  EXPECT_TRUE(wmi_->TerminateProcess("zel-no-such-program.exe"));
  EXPECT_TRUE(wmi_->TerminateProcess("o'brien.exe"));
}

TEST_F(Wmi, PingAnswersForTheHostOfAnAddress) {
  EXPECT_TRUE(wmi_->IsConnectedNetWork("127.0.0.1"));
  EXPECT_TRUE(wmi_->IsConnectedNetWork("http://127.0.0.1/zelupdate/query"));
  EXPECT_TRUE(wmi_->IsConnectedNetWork("localhost"));

  // Malformed, so the lookup fails on this machine without asking a name server.
  EXPECT_FALSE(wmi_->IsConnectedNetWork("zel..invalid"));
  EXPECT_FALSE(wmi_->IsConnectedNetWork("http://127.0.0.1:80/x"));  // the port stays in the host
  EXPECT_FALSE(wmi_->IsConnectedNetWork(""));
  EXPECT_FALSE(wmi_->IsConnectedNetWork("https://"));
}

TEST(WmiCreate, IsNullWithoutComOnTheThread) {
  std::unique_ptr<ClsWMI> created;
  std::thread([&] { created = ClsWMI::Create(); }).join();
  EXPECT_EQ(created, nullptr);
}

}  // namespace
}  // namespace zel
