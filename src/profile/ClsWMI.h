// The WMI service of root\cimv2 on the local machine: operating system, processor,
// machine UUID, processes, and whether a host answers a ping. One shared instance
// lives for the whole run. Methods are virtual so tests can stand in a fake.
#pragma once
#include <memory>
#include <string>

namespace zel {

class ClsWMI {
 public:
  // Binds the service; null when it cannot be bound.
  static std::unique_ptr<ClsWMI> Create();
  virtual ~ClsWMI() = default;

  virtual bool getOsInfo(std::string& osName, std::string& osVer) = 0;
  virtual bool getCpuInfo(std::string& cpuName, std::string& Arch) = 0;
  virtual bool getUUIDInfo(std::string& retUUID) = 0;
  virtual bool IsExistProcess(const std::string& exeName) = 0;
  virtual bool TerminateProcess(const std::string& exeName) = 0;
  virtual bool IsConnectedNetWork(const std::string& webAddress) = 0;
};

}  // namespace zel
