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

  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_md5(), nullptr) != 1) return std::nullopt;

  PackageFacts facts;
  char block[65536];
  while (in) {
    in.read(block, sizeof block);
    const std::streamsize got = in.gcount();
    if (got <= 0) break;
    if (EVP_DigestUpdate(ctx.get(), block, static_cast<std::size_t>(got)) != 1) return std::nullopt;
    facts.size += got;
  }
  if (in.bad()) return std::nullopt;

  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(ctx.get(), digest, &length) != 1) return std::nullopt;
  facts.md5 = BytesToHex(std::string_view(reinterpret_cast<const char*>(digest), length));
  return facts;
}

}  // namespace zel::svc
