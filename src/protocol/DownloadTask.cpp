#include "protocol/DownloadTask.h"

#include <array>
#include <charconv>
#include <utility>

#include "system/HttpClient.h"
#include "protocol/TextCodecs.h"

namespace zel {
namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::uint32_t kLargestSize = 2147483647;

std::optional<std::uint32_t> ParseSize(std::string_view text) {
  std::uint32_t size = 0;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), size);
  if (text.empty() || ec != std::errc() || ptr != text.data() + text.size()) return std::nullopt;
  if (size == 0 || size > kLargestSize) return std::nullopt;
  return size;
}

}  // namespace

std::string TaskFileText(const DownloadTask& task) {
  std::string text;
  for (const std::string& line : {task.version, task.url, std::to_string(task.size), task.md5}) {
    text += line;
    text += kLineEnd;
  }
  return text;
}

std::optional<DownloadTask> ParseTaskFileText(std::string_view text) {
  std::array<std::string_view, 4> lines;
  for (std::string_view& line : lines) {
    const std::size_t end = text.find(kLineEnd);
    if (end == std::string_view::npos) {
      // Only the last line may stand without its line end.
      if (&line != &lines.back()) return std::nullopt;
      line = std::exchange(text, {});
    } else {
      line = text.substr(0, end);
      text.remove_prefix(end + kLineEnd.size());
    }
  }
  if (!text.empty()) return std::nullopt;

  DownloadTask task;
  task.version = lines[0];
  task.url = lines[1];
  const auto size = ParseSize(lines[2]);
  task.md5 = lines[3];
  if (!size || !SplitHttpUrl(task.url) || task.md5.size() != 32 || !IsHexText(task.md5)) return std::nullopt;
  task.size = *size;
  return task;
}

}  // namespace zel
