#include "system/OsInfo.h"

#include "system/Platform.h"

namespace zel {

bool IsWinXP() { return CurrentPlatform().IsWinXPOrOlder(); }

bool IsProcessElevated() { return CurrentPlatform().IsElevated(); }

}  // namespace zel
