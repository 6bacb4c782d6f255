// A WMI service with answers chosen by the test. Every query succeeds with what the
// fields hold; processes are never found, hosts never answer.
#pragma once
#include <string>

#include "system/Wmi.h"

namespace zel::test {

class FakeWmi : public ClsWMI {
 public:
  WmiAnswer<WmiOs> getOsInfo() override { return {true, os}; }
  WmiAnswer<WmiCpu> getCpuInfo() override { return {true, cpu}; }
  WmiAnswer<std::string> getUUIDInfo() override { return {true, uuid}; }
  bool IsExistProcess(const std::string&) override { return false; }
  bool TerminateProcess(const std::string&) override { return false; }
  bool IsConnectedNetWork(const std::string&) override { return false; }

  WmiOs os;
  WmiCpu cpu;
  std::string uuid;
};

}  // namespace zel::test
