// The WMI class against Wine's WMI service, with COM set up as the program's GUI
// thread does it.
#include <gtest/gtest.h>
#include <objbase.h>
#include <windows.h>

#include "support/CmdlineEcho.h"
#include "system/Process_win.h"
#include "system/ScopeExit.h"
#include "system/Wmi.h"

namespace zel {
namespace {

TEST(Wmi, QueriesAnswerTrimmedTextsAndProcessesAndHostsAreFound) {
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  const ScopeExit uninitialize([] { CoUninitialize(); });
  const HRESULT hr = CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                                          RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
  ASSERT_TRUE(SUCCEEDED(hr) || hr == RPC_E_TOO_LATE);
  const std::unique_ptr<ClsWMI> wmi = BindWmiService();
  ASSERT_NE(wmi, nullptr);

  const auto os = wmi->getOsInfo();
  const auto cpu = wmi->getCpuInfo();
  const auto uuid = wmi->getUUIDInfo();
  EXPECT_TRUE(os.ok && cpu.ok && uuid.ok && cpu.value.addressWidth == "64") << cpu.value.addressWidth;
  for (const std::string& text : {os.value.caption, os.value.version, cpu.value.name, uuid.value})
    EXPECT_TRUE(!text.empty() && text.front() != ' ' && text.back() != ' ') << '[' << text << ']';

  // Processes are found and stopped by their image name.
  test::ScratchFolders scratch;
  scratch.Point(test::kEchoStayVariable, "20000");  // the peer stays for a while
  ProcessInfo peer;
  ASSERT_TRUE(StartProcess(test::EchoPeerPath(), "", peer));
  EXPECT_TRUE(wmi->IsExistProcess(test::kEchoImageName) && !wmi->IsExistProcess("zel-no-such-program.exe"));
  EXPECT_TRUE(wmi->TerminateProcess(test::kEchoImageName) &&
              WaitForSingleObject(peer.process.Get(), 0) == WAIT_OBJECT_0);
  ::TerminateProcess(peer.process.Get(), 0);
  // A name whose quote breaks the query after the stop command counts as stopped.
  EXPECT_TRUE(wmi->TerminateProcess("o'brien.exe"));

  // The ping answers for the host of an address. "zel..invalid" is malformed, so the
  // lookup fails here without asking a name server; a port stays part of the host.
  for (const char* reachable : {"127.0.0.1", "http://127.0.0.1/zelupdate/query", "localhost"})
    EXPECT_TRUE(wmi->IsConnectedNetWork(reachable)) << reachable;
  for (const char* unreachable : {"zel..invalid", "http://127.0.0.1:80/x", "", "https://"})
    EXPECT_FALSE(wmi->IsConnectedNetWork(unreachable)) << unreachable;
}

}  // namespace
}  // namespace zel
