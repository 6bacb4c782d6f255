// The three ways a package is fetched: the product's companion downloader watched
// through its growing partial file, HTTP range requests in the process, and the
// system's URL download. The driver chooses among them and verifies the result.
// The progress text, the URL rule and the range plan are portable; the routes
// themselves are Windows only.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "system/ProgressSink.h"

namespace zel {

// The partial file the companion downloader writes into the per-user product folder.
inline constexpr char kPartialPackageName[] = "zelupdatepkg.dwn";
// The companion downloader beside the program.
inline constexpr char kCompanionName[] = "zelupdateget.exe";
// What the driver passes as the progress format.
inline constexpr char kDownloadProgressFormat[] = "下载升级包进度:%f%";

// The format with its first "%f" replaced by the whole percentage done / total * 100,
// halves rounded to the even neighbour. No value when the percentage is no finite
// number (a total of 0).
std::optional<std::string> ProgressText(std::string_view format, double done, double total);

// The range route's address: the URL itself when it begins with exactly "http://"
// (letter case counts), else "http://" followed by the URL.
std::string RangeDownloadUrl(std::string_view url);

// What the range route asks next and what it does with each answer. One request for
// bytes=S-E at a time: the first one is bytes=0-1048576 (bytes=0-size for a package
// under 1 MiB, which a single answer of exactly `size` bytes completes); each later one
// starts at the last byte L the previous answer announced, which is written again, and
// ends 1 MiB later or at the announced total T. Whatever an answer's body holds goes
// at S: the size and digest checks after the download judge the file as a whole.
class RangePlan {
 public:
  static constexpr std::int64_t kPiece = 1048576;

  explicit RangePlan(std::int32_t size);

  // The "Range" header value of the request due: "bytes=S-E".
  std::string RangeHeader() const;

  enum class Verdict {
    kFail,            // nothing of this answer is used; the download failed
    kComplete,        // 416: the download is complete without this answer's body
    kStore,           // the body goes at Offset(); then the next request is due
    kStoreAndFinish,  // the body goes at Offset(); the download is complete after it
  };
  // The "Content-Range" of an answer as the route reads it: the text after its first
  // "-" up to the next "/" is the last byte, the rest the total.
  struct Announced {
    std::int64_t last = 0;
    std::int64_t total = 0;
  };
  struct Step {
    Verdict verdict = Verdict::kFail;
    std::int64_t offset = 0;       // where the body goes
    std::optional<Announced> got;  // last / total is the progress
  };
  // Judges the answer to the request due and moves on: 416 completes the download; a
  // 200 or 206 is stored and, unless it completes a single request, must announce its
  // range (both numbers 32-bit decimals); any other status fails.
  Step Take(int status, std::uint64_t bodyLength, std::string_view contentRange);

 private:
  std::int64_t size_;
  bool single_;
  std::int64_t start_ = 0;
  std::int64_t end_;
};

// Hands the download to zelupdateget.exe through a task file and watches
// zelupdatepkg.dwn once a second until it has exactly `size` bytes (true) or the
// companion ends first (false). Windows build.
bool DownloadPackage(const std::string& version, const std::string& url, std::int32_t size,
                     const std::string& md5, const std::string& format, ProgressSink& sink);

// Downloads url into target in ranges of 1 MiB, each request allowed 120 polls 10 ms
// apart with the window's messages processed in between; on false no target file is
// left. Windows build.
bool HttpRangeDownload(const std::string& url, std::int32_t size, const std::string& target,
                       const std::string& format, ProgressSink& sink);

// The system's URL download into target, after removing the URL's entry from the
// system cache. A download during which nothing happens for stallMs (no byte, no
// step of the connection) is aborted and fails. Windows build.
inline constexpr std::uint32_t kUrlDownloadStallMs = 60000;
bool DownloadUrlToFile(const std::string& url, const std::string& target,
                       std::uint32_t stallMs = kUrlDownloadStallMs);

}  // namespace zel
