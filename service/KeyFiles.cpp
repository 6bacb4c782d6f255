#include "KeyFiles.h"

#include <fcntl.h>
#include <openssl/crypto.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sstream>

namespace zel::svc {

namespace {

// Creates the file with the mode given; an existing file is left as it is.
bool CreateFile(const std::string& path, const std::string& text, mode_t mode, std::string& error) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd < 0) {
    error = errno == EEXIST ? path + " exists already; a key file is never replaced"
                            : "cannot create " + path + ": " + std::strerror(errno);
    return false;
  }
  std::size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = write(fd, text.data() + written, text.size() - written);
    if (n <= 0) break;
    written += static_cast<std::size_t>(n);
  }
  const bool ok = written == text.size() && fsync(fd) == 0;
  if (!ok) error = "cannot write " + path + ": " + std::strerror(errno);
  close(fd);
  return ok;
}

}  // namespace

bool WriteKeyFiles(const SigningKey& key, const std::string& dir, std::string& error) {
  std::error_code ec;
  if (!std::filesystem::is_directory(dir, ec) && mkdir(dir.c_str(), 0700) != 0) {
    error = "cannot create the folder " + dir + ": " + std::strerror(errno);
    return false;
  }
  const std::string base = (std::filesystem::path(dir) / key.Id()).string();
  const std::string privatePath = base + ".pem", publicPath = base + ".pub";
  // Both names are checked first, so a refusal leaves no half pair behind.
  for (const std::string& path : {privatePath, publicPath}) {
    if (std::filesystem::exists(std::filesystem::symlink_status(path, ec))) {
      error = path + " exists already; a key file is never replaced";
      return false;
    }
  }
  std::string pem = key.PrivateKeyPem();
  const bool written = !pem.empty() && CreateFile(privatePath, pem, 0600, error);
  OPENSSL_cleanse(pem.data(), pem.size());
  if (pem.empty()) error = "cannot encode the private key";
  if (!written) return false;
  if (!CreateFile(publicPath, key.PublicKeyLine() + "\n", 0644, error)) {
    unlink(privatePath.c_str());
    return false;
  }
  return true;
}

std::shared_ptr<const SigningKey> LoadKeyFile(const std::string& path, std::string& error) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    error = "cannot read the signing key " + path + (fd < 0 ? std::string(": ") + std::strerror(errno) : "");
    if (fd >= 0) close(fd);
    return nullptr;
  }
  if ((st.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
    close(fd);
    std::ostringstream mode;
    mode << std::oct << (st.st_mode & 07777);
    error = "the signing key " + path + " is open to group or others (mode 0" + mode.str() +
            "); it must be readable by its owner only: chmod 600 " + path;
    return nullptr;
  }
  std::string pem;
  char buffer[4096];
  for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) pem.append(buffer, static_cast<std::size_t>(n));
  close(fd);
  auto key = SigningKey::FromPem(pem, error);
  OPENSSL_cleanse(pem.data(), pem.size());
  if (!key) error = "the signing key " + path + " is unusable: " + error;
  return key;
}

}  // namespace zel::svc
