#include "settings/IniOperation.h"
#include "settings/SettingsKeys.h"
#include "settings/modCheckUpdate.h"

namespace zel {

bool IsCheckDue() {
  const std::string path = ConfigFilePath();
  if (path.empty()) return true;  // no settings folder: nothing recorded, so check
  const std::string last =
      IniRead(path, settings::kGeneral, settings::kLastCheckUpdate, settings::kNeverChecked);
  return IsCheckDueFor(last, Seam().Today());
}

}  // namespace zel
