#include "driver/PackageCache.h"

#include <cerrno>
#include <cstdlib>
#include <limits>

#include "system/Text.h"

namespace zel {

std::string UpgradingCopyArguments(const std::string& programFolder) {
  return "/upgrading /installpath \"" + programFolder + "\"";
}

std::string InstallerArguments(const std::string& installFolder) {
  return "/verysilent /installpath \"" + installFolder + "\"";
}

bool DigestMatches(const std::string& digest, const std::string& hash) {
  return !digest.empty() && AsciiLower(digest) == AsciiLower(hash);
}

std::optional<std::int32_t> CacheSizeOf(const std::string& text) {
  const std::string trimmed = TrimSpaces(text);
  if (trimmed.empty()) return std::nullopt;
  const char* begin = trimmed.c_str();
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(begin, &end, 10);
  if (end == begin || *end != '\0' || errno == ERANGE) return std::nullopt;
  if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max())
    return std::nullopt;
  return static_cast<std::int32_t>(value);
}

}  // namespace zel
