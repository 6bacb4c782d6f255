// The companion downloader's work: fetch the package of a task into the partial file
// in the folder it was given, resuming a partial file of the same package, and check
// the result against the task. Windows only.
#pragma once
#include <string>

#include "companion/DownloadRules.h"

namespace zel::companion {

Exit DownloadPackageFile(const DownloadTask& task, const std::string& folder);

}  // namespace zel::companion
