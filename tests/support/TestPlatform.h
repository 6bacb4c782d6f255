// The platform the test programs start from.
#pragma once
#include "system/Platform.h"

namespace zel::test {

// Win32Platform() in the Windows build; on the host, real sleeping, no message pump,
// the local date, no message boxes (every question answers 0), facts of a modern
// unelevated system, the linked zlib, and neither HTTP, WMI nor automation servers.
Platform& BasePlatform();

}  // namespace zel::test
