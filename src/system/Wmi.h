// The WMI service of root\cimv2 on the local machine: operating system, processor,
// machine UUID, processes, and whether a host answers a ping. One shared instance
// lives for the whole run; the platform binds it, tests stand in a fake.
// The texts the class sends (WQL queries, the stop command, the host a connectivity
// test pings) are portable. Names and hosts are inserted verbatim between the single
// quotes; a quote in them makes the query invalid, and the query then fails.
#pragma once
#include <memory>
#include <string>
#include <string_view>

namespace zel {

// What an information query read, and whether it succeeded. A query that finds no
// object succeeds with empty texts; one whose second property fails keeps the first.
template <typename T>
struct WmiAnswer {
  bool ok = false;
  T value{};
};
struct WmiOs {
  std::string caption;  // Caption, trimmed
  std::string version;  // version, trimmed
};
struct WmiCpu {
  std::string name;          // Name, trimmed
  std::string addressWidth;  // AddressWidth as text
};

class ClsWMI {
 public:
  virtual ~ClsWMI() = default;

  virtual WmiAnswer<WmiOs> getOsInfo() = 0;
  virtual WmiAnswer<WmiCpu> getCpuInfo() = 0;
  virtual WmiAnswer<std::string> getUUIDInfo() = 0;  // the machine's hardware UUID
  virtual bool IsExistProcess(const std::string& exeName) = 0;
  virtual bool TerminateProcess(const std::string& exeName) = 0;
  virtual bool IsConnectedNetWork(const std::string& webAddress) = 0;
};

// The machine's root\cimv2, bound; null when it cannot be bound (Windows build).
std::unique_ptr<ClsWMI> BindWmiService();

inline constexpr std::string_view kOsQuery = "Select * from Win32_OperatingSystem";
inline constexpr std::string_view kCpuQuery = "Select * from Win32_Processor";
inline constexpr std::string_view kProductQuery = "Select * from Win32_ComputerSystemProduct";

std::string ProcessQuery(std::string_view exeName);
std::string PingQuery(std::string_view host);
// "taskkill.exe /f /im " + exeName.
std::string TaskkillCommand(std::string_view exeName);

// The host part of an address: what follows the first "://", cut before its first
// "/" when it holds a "/" past its first character. A port stays part of the host.
std::string PingHostOf(std::string_view webAddress);

}  // namespace zel
