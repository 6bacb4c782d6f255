// Helpers shared by the service's tests: a scratch folder and update bodies built
// the way the program builds them.
#pragma once

#include <filesystem>
#include <string>

namespace zel::svc::test {

// A fresh folder under the system's temporary folder, removed with everything in it.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string File(const std::string& name) const { return (path_ / name).string(); }
  // Writes the bytes to a file of the folder and returns its path.
  std::string Write(const std::string& name, const std::string& bytes) const;

 private:
  std::filesystem::path path_;
};

std::string Compress(const std::string& bytes);  // zlib stream, level 6

// size=N&checksum=0&zip=Z&data=D for a query text, compressed first when zip is set.
std::string MakeBody(const std::string& query, bool zip);

// Query texts as the program sends them, with hex-encoded values.
std::string ShortQuery(const std::string& app_ver, const std::string& uuid);
std::string FullQuery(const std::string& app_ver, const std::string& uuid, const std::string& doc_app,
                      const std::string& doc_ver);

}  // namespace zel::svc::test
