// The download task file that the updater hands to the companion downloader: four
// lines, each ended by CR LF (package version, package URL, size in bytes as a decimal
// number, MD5 as hex text), stored as UTF-8 without byte-order mark.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zel {

struct DownloadTask {
  std::string version;
  std::string url;
  std::uint32_t size = 0;  // 1 to 2147483647: the updater holds it in a signed 32-bit integer
  std::string md5;         // 32 hex digits, letter case as the service sent it
  bool operator==(const DownloadTask&) const = default;
};

// The four lines, each with its CR LF.
std::string TaskFileText(const DownloadTask& task);

// Reads the four lines back. The last CR LF may be missing; anything after it, an
// empty URL, a URL that is not http or https, a size that is not a plain decimal
// number from 1 to 2147483647, or an MD5 that is not 32 hex digits gives no task.
std::optional<DownloadTask> ParseTaskFileText(std::string_view text);

}  // namespace zel
