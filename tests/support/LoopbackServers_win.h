// The reference update service and the private nginx that ctest fixtures start on the
// loopback for a test program (tests/protocol/service-fixture.sh and
// companion/tests/nginx-fixture.sh): each writes its port into DIR/port; the service
// serves DIR/packages, nginx DIR/www (as "/", "/slow/" and "/norange/").
#pragma once
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>

#include "protocol/FileMd5.h"
#include "support/ScratchFolders_win.h"
#include "support/WorldControl_win.h"

namespace zel::test {

// Printable bytes that differ from package to package, so the service can also send a
// part of one as a scripted JSON body.
inline std::string PackageBytes(std::size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  for (char& c : bytes) {
    seed = seed * 1103515245u + 12345u;
    c = static_cast<char>('!' + (seed >> 16) % 90);
  }
  return bytes;
}

// The MD5 of bytes as FileMd5 gives it, through a file at path.
inline std::string Md5Of(const std::string& bytes, const std::string& path) {
  return WriteBytes(path, bytes) ? FileMd5(path, kCalgMd5) : "";
}

// The servers of one test program; their folders are Windows paths (Z:...).
class LoopbackServers {
 public:
  explicit LoopbackServers(std::string serviceDir, std::string nginxDir = "")
      : serviceDir_(std::move(serviceDir)), nginxDir_(std::move(nginxDir)) {}

  std::string ServiceBase() const { return "http://127.0.0.1:" + Port(serviceDir_); }
  // The service's test control.
  ServiceControl Service() const { return ServiceControl(ServiceBase()); }
  // Publishes a package in the service's folder; its URL ("" when it cannot be written).
  std::string ServicePackage(const std::string& name, const std::string& bytes) const {
    return WriteBytes(serviceDir_ + "/packages/" + name, bytes) ? ServiceBase() + "/packages/" + name : "";
  }
  // Puts a file into nginx's folder; its URL under path.
  std::string NginxPackage(const std::string& path, const std::string& name, const std::string& bytes) const {
    return WriteBytes(nginxDir_ + "/www/" + name, bytes) ? "http://127.0.0.1:" + Port(nginxDir_) + path + name : "";
  }
  // Forgets the requests received so far; the faults are used up by package requests.
  bool ScriptPackageFaults(nlohmann::json faults = nlohmann::json::array()) const {
    for (auto& fault : faults) fault["on"] = "package";
    const ServiceControl service = Service();
    return service.Reset() && service.AddFaults(faults.dump());
  }
  // Every request the service received since its last reset.
  nlohmann::json Received() const { return nlohmann::json::parse(Service().Requests()); }

 private:
  static std::string Port(const std::string& dir) {
    std::string port;
    std::ifstream(PathOf(dir + "/port")) >> port;
    return port;
  }
  std::string serviceDir_, nginxDir_;
};

}  // namespace zel::test
