// The texts the WMI class sends: WQL queries, the stop command, and the host that a
// connectivity test pings. Names and hosts are inserted verbatim between the single
// quotes; a quote in them makes the query invalid, and the query then fails.
#pragma once
#include <string>
#include <string_view>

namespace zel {

inline constexpr std::string_view kOsQuery = "Select * from Win32_OperatingSystem";
inline constexpr std::string_view kCpuQuery = "Select * from Win32_Processor";
inline constexpr std::string_view kProductQuery = "Select * from Win32_ComputerSystemProduct";

std::string ProcessQuery(std::string_view exeName);
std::string PingQuery(std::string_view host);
// "taskkill.exe /f /im " + exeName.
std::string TaskkillCommand(std::string_view exeName);

// The host part of an address: what follows the first "://", cut before the first
// "/" that is not its very first character. A port stays part of the host.
std::string PingHostOf(std::string_view webAddress);

}  // namespace zel
