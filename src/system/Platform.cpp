#include "system/Platform.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace zel {
namespace {
Platform* g_platform = nullptr;
}

Platform& CurrentPlatform() {
  if (!g_platform) {
    std::fputs("zelpatcher: no platform installed\n", stderr);
    std::abort();
  }
  return *g_platform;
}

PlatformScope::PlatformScope(Platform& platform) : previous_(std::exchange(g_platform, &platform)) {}

PlatformScope::~PlatformScope() { g_platform = previous_; }

}  // namespace zel
