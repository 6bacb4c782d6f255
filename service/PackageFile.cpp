#include "PackageFile.h"

#include <openssl/evp.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <system_error>

#include "WireCodec.h"

namespace zel::svc {

std::optional<PackageFacts> DescribePackage(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;

  using Context = std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)>;
  Context md5(EVP_MD_CTX_new(), EVP_MD_CTX_free), sha256(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  if (!md5 || !sha256 || EVP_DigestInit_ex(md5.get(), EVP_md5(), nullptr) != 1 ||
      EVP_DigestInit_ex(sha256.get(), EVP_sha256(), nullptr) != 1) {
    return std::nullopt;
  }

  PackageFacts facts;
  char block[65536];
  while (in) {
    in.read(block, sizeof block);
    const std::streamsize got = in.gcount();
    if (got <= 0) break;
    if (EVP_DigestUpdate(md5.get(), block, static_cast<std::size_t>(got)) != 1 ||
        EVP_DigestUpdate(sha256.get(), block, static_cast<std::size_t>(got)) != 1) {
      return std::nullopt;
    }
    facts.size += got;
  }
  if (in.bad()) return std::nullopt;

  for (auto [ctx, hex] : {std::pair{md5.get(), &facts.md5}, std::pair{sha256.get(), &facts.sha256}}) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(ctx, digest, &length) != 1) return std::nullopt;
    *hex = BytesToHex(std::string_view(reinterpret_cast<const char*>(digest), length));
  }
  return facts;
}

}  // namespace zel::svc
