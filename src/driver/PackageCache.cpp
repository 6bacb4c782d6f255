#include "driver/PackageCache.h"

#include <cmath>
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
  if (trimmed.empty() || trimmed.find_first_not_of("+-.0123456789eE") != std::string::npos) return std::nullopt;
  char* end = nullptr;
  const double value = std::nearbyint(std::strtod(trimmed.c_str(), &end));  // halves to the even neighbour
  if (*end != '\0' || !std::isfinite(value) || value < std::numeric_limits<std::int32_t>::min() ||
      value > std::numeric_limits<std::int32_t>::max())
    return std::nullopt;
  return static_cast<std::int32_t>(value);
}

}  // namespace zel
