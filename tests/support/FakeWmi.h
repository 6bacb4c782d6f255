// A WMI service with answers chosen by the test. Every query succeeds with what the
// fields hold, or with queriesFail fails with empty answers; processes are never
// found, hosts never answer.
#pragma once
#include <string>

#include "system/Wmi.h"

namespace zel::test {

class FakeWmi : public ClsWMI {
 public:
  WmiAnswer<WmiOs> getOsInfo() override { return Answer(os); }
  WmiAnswer<WmiCpu> getCpuInfo() override { return Answer(cpu); }
  WmiAnswer<std::string> getUUIDInfo() override { return Answer(uuid); }
  bool IsExistProcess(const std::string&) override { return false; }
  bool TerminateProcess(const std::string&) override { return false; }
  bool IsConnectedNetWork(const std::string&) override { return false; }

  WmiOs os;
  WmiCpu cpu;
  std::string uuid;
  bool queriesFail = false;

 private:
  template <typename T>
  WmiAnswer<T> Answer(const T& value) const {
    return queriesFail ? WmiAnswer<T>{} : WmiAnswer<T>{true, value};
  }
};

}  // namespace zel::test
