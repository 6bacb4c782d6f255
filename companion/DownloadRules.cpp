#include "companion/DownloadRules.h"

#include "protocol/ContentRange.h"

namespace zel::companion {

std::string HelpText() {
  return "zelupdateget TASK-FILE FOLDER\n"
         "\n"
         "Downloads the package that TASK-FILE describes into FOLDER\\zelupdatepkg.dwn.\n"
         "TASK-FILE holds four UTF-8 lines ended by CR LF: version, http or https URL,\n"
         "size in bytes, MD5 (hex). The file grows while the download runs; a partial\n"
         "file of the same package (recorded in FOLDER\\zelupdatepkg.dwn.task) is\n"
         "resumed with a range request. Once complete, its size and MD5 are checked.\n"
         "\n"
         "Exit codes:\n"
         "  0  the package is complete and matches the task's size and MD5\n"
         "  1  wrong command line\n"
         "  2  the task file cannot be read or is not valid\n"
         "  3  the folder cannot be written\n"
         "  4  network failure on every try (the partial file is kept for a resume)\n"
         "  5  the server refused the download or answered something unusable\n"
         "  6  the server's file does not have the task's size (output deleted)\n"
         "  7  the downloaded file does not have the task's MD5 (output deleted)\n";
}

std::optional<Arguments> ParseArguments(const std::vector<std::string>& args) {
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "/?")) return Arguments{true, {}, {}};
  if (args.size() != 2 || args[0].empty() || args[1].empty()) return std::nullopt;
  return Arguments{false, args[0], args[1]};
}

std::uint64_t ResumeOffset(const DownloadTask& task, const std::optional<DownloadTask>& partialTask,
                           std::int64_t partialSize) {
  const bool samePackage = partialTask && partialTask->url == task.url && partialTask->size == task.size &&
                           partialTask->md5 == task.md5;
  if (!samePackage || partialSize <= 0 || static_cast<std::uint64_t>(partialSize) > task.size) return 0;
  return static_cast<std::uint64_t>(partialSize);
}

AnswerUse JudgeAnswer(std::uint64_t offset, std::uint32_t size, int status, std::string_view contentRange,
                      std::optional<std::uint64_t> contentLength) {
  if (status == 408 || status == 429 || (status >= 500 && status <= 599)) return AnswerUse::kRetry;
  if (status == 200) {
    if (contentLength && *contentLength != size) return AnswerUse::kWrongSize;
    return AnswerUse::kFromStart;
  }
  if (status == 206) {
    if (IsRestOfFile(contentRange, offset, size)) return offset == 0 ? AnswerUse::kFromStart : AnswerUse::kAppend;
    const auto range = ParseContentRange(contentRange);
    if (range && range->total != size && offset == 0) return AnswerUse::kWrongSize;
    return offset == 0 ? AnswerUse::kRefused : AnswerUse::kStartOver;
  }
  // A range beyond the end of the server's file: its file is shorter, or another one.
  if (status == 416 && offset > 0) return AnswerUse::kStartOver;
  return AnswerUse::kRefused;
}

std::uint32_t RetryPauseMs(int retry) { return kFirstRetryPauseMs << (retry - 1); }

}  // namespace zel::companion
