// The three ways a package is fetched: the product's companion downloader watched
// through its growing partial file, HTTP range requests in the process, and the
// system's URL download. The driver chooses among them and verifies the result.
#pragma once
#include <cstdint>
#include <string>

#include "system/ProgressSink.h"

namespace zel {

// The partial file the companion downloader writes into the per-user product folder.
inline constexpr char kPartialPackageName[] = "zelupdatepkg.dwn";
// The companion downloader beside the program.
inline constexpr char kCompanionName[] = "zelupdateget.exe";
// What the driver passes as the progress format.
inline constexpr char kDownloadProgressFormat[] = "下载升级包进度:%f%";

// The format with its first "%f" replaced by the whole percentage done / total * 100,
// halves rounded to the even neighbour. No value when total is 0.
std::string ProgressText(const std::string& format, double done, double total);

// Hands the download to zelupdateget.exe through a task file and watches
// zelupdatepkg.dwn once a second until it has exactly `size` bytes (true) or the
// companion ends first (false). Windows build.
bool DownloadPackage(const std::string& version, const std::string& url, std::int32_t size, const std::string& md5,
                     const std::string& format, ProgressSink& sink);

// Downloads url into target in ranges of 1 MiB; on false no target file is left.
// Windows build.
bool HttpRangeDownload(const std::string& url, std::int32_t size, const std::string& target,
                       const std::string& format, ProgressSink& sink);

// The system's URL download into target, after removing the URL's entry from the
// system cache. Windows build.
bool DownloadUrlToFile(const std::string& url, const std::string& target);

}  // namespace zel
