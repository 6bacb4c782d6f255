#include "settings/CheckSchedule.h"

#include "settings/SettingsFile.h"
#include "settings/SettingsKeys.h"

namespace zel {

bool IsCheckDue(const SettingsFile& settings) {
  const std::string last = settings.Read(settings::kGeneral, settings::kLastCheckUpdate, settings::kNeverChecked);
  return IsCheckDueFor(last, CurrentPlatform().Today());
}

void SaveLastCheckDate(const SettingsFile& settings) {
  settings.Write(settings::kGeneral, settings::kLastCheckUpdate, TodayText());
}

}  // namespace zel
