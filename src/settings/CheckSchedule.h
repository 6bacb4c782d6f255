// The once-a-day check schedule.
#pragma once
#include <string>

#include "system/Platform.h"

namespace zel {

class SettingsFile;

// Month-day-year, "04-17-2026", whatever the regional settings say.
std::string DateText(const CivilDate& date);
// Today's date text, from the platform's clock.
std::string TodayText();
// The schedule: a check is due unless the last check's date text is today's exactly
// (at most one update query per calendar day; texts in any other form count as due).
bool IsCheckDueFor(const std::string& lastCheck, const CivilDate& today);
// True unless "LastCheckUpdate" holds today's date text.
bool IsCheckDue(const SettingsFile& settings);
// Stores today's date text as "LastCheckUpdate".
void SaveLastCheckDate(const SettingsFile& settings);

}  // namespace zel
