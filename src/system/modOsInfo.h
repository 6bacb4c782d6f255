// Which Windows runs, and whether this process has full administrator rights.
#pragma once

namespace zel {

// Major version from the extended version record; 0 when the query fails.
int GetOSMajorVersion();
// Through the seam: True on Windows XP or older.
bool IsWinXP();
// Through the seam: True when the process runs with full administrator rights.
bool IsProcessElevated();

// The real system queries behind the seam.
bool SystemIsWinXP();
bool SystemIsProcessElevated();

}  // namespace zel
