// The once-a-day check schedule.
#pragma once
#include <string>

#include "system/SystemSeam.h"

namespace zel {

// Month-day-year, "04-17-2026", whatever the regional settings say.
std::string DateText(const CivilDate& date);
// Today's date text, from the seam's clock.
std::string TodayText();
// The schedule: a check is due unless the last check's date text is today's exactly
// (at most one update query per calendar day; texts in any other form count as due).
bool IsCheckDueFor(const std::string& lastCheck, const CivilDate& today);
// True unless "LastCheckUpdate" holds today's date text; any failure counts as due.
bool IsCheckDue();

}  // namespace zel
