#include "settings/CheckSchedule.h"

#include <cstdio>

namespace zel {

std::string DateText(const CivilDate& date) {
  char text[32];
  std::snprintf(text, sizeof text, "%02d-%02d-%04d", date.month, date.day, date.year);
  return text;
}

std::string TodayText() { return DateText(CurrentPlatform().Today()); }

bool IsCheckDueFor(const std::string& lastCheck, const CivilDate& today) {
  return lastCheck != DateText(today);
}

}  // namespace zel
