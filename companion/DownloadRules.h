// The decisions of the companion downloader, apart from the system calls: its command
// line, where a download starts (resume or byte 0), what an answer of the server is
// good for, how long to wait before trying again, and its exit codes.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/DownloadTask.h"

namespace zel::companion {

// Fixed names in the folder the downloader is given.
inline constexpr std::string_view kPartialFileName = "zelupdatepkg.dwn";
// The task that the partial file belongs to, in the task file's own format.
inline constexpr std::string_view kPartialTaskFileName = "zelupdatepkg.dwn.task";

enum class Exit : int {
  kDone = 0,           // the package is complete: size and MD5 match the task
  kUsage = 1,          // the command line is not "task-file folder" (or --help was asked: 0)
  kBadTask = 2,        // the task file cannot be read or is not four valid lines
  kCannotWrite = 3,    // the partial file or its task record cannot be written in the folder
  kNetwork = 4,        // no connection, or it broke off on every try; the partial file is kept
  kRefused = 5,        // the server answered with an error or with something unusable
  kWrongSize = 6,      // the server's file does not have the task's size; the output is deleted
  kWrongMd5 = 7,       // the downloaded file does not have the task's MD5; the output is deleted
};

// The text of --help, exit codes included.
std::string HelpText();

struct Arguments {
  bool help = false;
  std::string taskFile;
  std::string folder;
};
// "--help" (or "/?") alone, or exactly the task file path and the folder; no value
// for anything else.
std::optional<Arguments> ParseArguments(const std::vector<std::string>& args);

// Where the download of `task` starts: the size of the partial file when that file
// belongs to the same package (same URL, size and MD5) and is not longer than it,
// else 0. A partial file as long as the package needs no request at all.
std::uint64_t ResumeOffset(const DownloadTask& task, const std::optional<DownloadTask>& partialTask,
                           std::int64_t partialSize);

// What an answer to a request from byte `offset` on (no Range header at 0,
// "bytes=<offset>-" beyond) is good for.
enum class AnswerUse {
  kAppend,     // 206 with exactly the rest: its body goes after the partial file's bytes
  kFromStart,  // the whole file: its body replaces the partial file from byte 0
  kStartOver,  // not the rest that was asked for: ask again for the whole file
  kRetry,      // a passing server trouble (408, 429, 5xx): try again after a pause
  kRefused,    // any other status, or a whole file not starting at byte 0
  kWrongSize,  // the server's file has another length than the task says
};
AnswerUse JudgeAnswer(std::uint64_t offset, std::uint32_t size, int status, std::string_view contentRange,
                      std::optional<std::uint64_t> contentLength);

// Tries after the first one when the connection fails or breaks off, and the pause
// before each (doubling).
inline constexpr int kRetries = 3;
inline constexpr std::uint32_t kFirstRetryPauseMs = 500;
std::uint32_t RetryPauseMs(int retry);  // retry 1, 2, 3 -> 500, 1000, 2000 ms

}  // namespace zel::companion
