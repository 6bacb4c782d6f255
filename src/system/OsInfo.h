// Which Windows runs, whether this process has full administrator rights, and the
// size of the primary screen.
#pragma once
#include <array>

namespace zel {

// Major version from the extended version record; 0 when the query fails.
int GetOSMajorVersion();
// Through the platform: True on Windows XP or older.
bool IsWinXP();
// Through the platform: True when the process runs with full administrator rights.
bool IsProcessElevated();

// Primary screen width and height in pixels; 0 for what the system does not report.
std::array<int, 2> GetScreenSize();

// The real system queries behind the platform.
bool SystemIsWinXP();
bool SystemIsProcessElevated();

}  // namespace zel
