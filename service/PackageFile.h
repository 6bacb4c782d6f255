// What the catalog needs to know about a package file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zel::svc {

struct PackageFacts {
  std::int64_t size = 0;
  std::string md5;     // 32 upper-case hex digits, the form the program computes itself
  std::string sha256;  // 64 upper-case hex digits
};

// Size, MD5 and SHA-256 of a regular file, read once in blocks; no value when it
// cannot be read.
std::optional<PackageFacts> DescribePackage(const std::string& path);

}  // namespace zel::svc
