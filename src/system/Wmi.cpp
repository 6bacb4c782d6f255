#include "system/Wmi.h"

namespace zel {

std::string ProcessQuery(std::string_view exeName) {
  std::string query = "SELECT * FROM Win32_Process WHERE Name = '";
  query += exeName;
  query += '\'';
  return query;
}

std::string PingQuery(std::string_view host) {
  std::string query = "Select * From Win32_PingStatus Where Address = '";
  query += host;
  query += '\'';
  return query;
}

std::string TaskkillCommand(std::string_view exeName) {
  std::string command = "taskkill.exe /f /im ";
  command += exeName;
  return command;
}

std::string PingHostOf(std::string_view webAddress) {
  std::string_view host = webAddress;
  if (const std::size_t scheme = host.find("://"); scheme != std::string_view::npos) {
    host.remove_prefix(scheme + 3);
  }
  if (const std::size_t slash = host.find('/'); slash != std::string_view::npos && slash >= 1) {
    host = host.substr(0, slash);
  }
  return std::string(host);
}

}  // namespace zel
