// The once-a-day check schedule.
#pragma once
#include <string>

#include "system/SystemSeam.h"

namespace zel {

// Month-day-year, "04-17-2026", whatever the regional settings say.
std::string DateText(const CivilDate& date);
// Today's date text, from the seam's clock.
std::string TodayText();
// True unless "LastCheckUpdate" holds today's date text; any failure counts as due.
bool IsCheckDue();

}  // namespace zel
