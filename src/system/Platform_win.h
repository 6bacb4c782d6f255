// The program's own platform: real sleeping, the real message pump, the local date,
// real message boxes, the real system facts, WinINet, zlib1.dll from the program
// folder, the machine's WMI service and its registered automation servers.
#pragma once
#include "system/Platform.h"

namespace zel {

Platform& Win32Platform();

}  // namespace zel
