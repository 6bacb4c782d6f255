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
  // A "/" past the first character cuts the host before its first "/", which may be
  // that very first character: "/x" stays, "/x/y" leaves nothing.
  if (host.find('/', 1) != std::string_view::npos) host = host.substr(0, host.find('/'));
  return std::string(host);
}

}  // namespace zel
