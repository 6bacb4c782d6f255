#include "system/RunMarkers.h"

#include "system/Platform.h"
#include "system/Text.h"

namespace zel {
namespace {

std::string WithoutCrLf(std::string text) {
  for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at))
    text.erase(at, 2);
  return text;
}

std::uint32_t SleepLength(std::int32_t intervalMs) {
  return intervalMs > 0 ? static_cast<std::uint32_t>(intervalMs) : 0u;
}

}  // namespace

bool ListingHasOtherMarker(const std::vector<std::string>& lowerNames, std::string_view lowerOwnName) {
  const std::string own = std::string(lowerOwnName) + kMarkerExtension;
  for (const std::string& listed : lowerNames) {
    const std::string name = WithoutCrLf(TrimSpaces(listed));
    if (name.empty()) return false;
    if (name != own) return true;
  }
  return false;
}

bool PollForMarker(std::int32_t intervalMs, std::int32_t maxPolls,
                   const std::function<bool()>& markerExists) {
  for (std::int32_t polls = 0;;) {
    CurrentPlatform().PumpMessages();
    CurrentPlatform().SleepMs(SleepLength(intervalMs));
    if (++polls > maxPolls) return false;
    if (markerExists()) return true;
  }
}

bool PollUntilOthersGone(std::int32_t intervalMs, std::int32_t maxPolls,
                         const std::function<std::optional<bool>()>& otherExists) {
  for (std::int32_t polls = 0;;) {
    CurrentPlatform().SleepMs(SleepLength(intervalMs));
    CurrentPlatform().PumpMessages();
    const std::optional<bool> other = otherExists();
    if (!other) return false;
    if (!*other) return true;
    if (++polls >= maxPolls) return false;
  }
}

}  // namespace zel
