#include "AccessLog.h"

#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <ctime>
#include <mutex>
#include <thread>
#include <vector>

namespace zel::svc {
namespace {

// Lines waiting at most: some seconds of requests at full load.
constexpr std::size_t kMaxQueuedLines = 1 << 16;

std::atomic<int> gLevel{static_cast<int>(LogLevel::kInfo)};

void WriteAll(const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(STDERR_FILENO, text.data() + done, text.size() - done);
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

class LogQueue {
 public:
  LogQueue() : thread_([this] { Loop(); }) {}
  ~LogQueue() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
  }

  void Push(std::string line) {
    {
      std::lock_guard lock(mutex_);
      if (queued_.size() >= kMaxQueuedLines) {
        ++dropped_;
        return;
      }
      queued_.push_back(std::move(line));
      if (queued_.size() > 1) return;  // the writer is awake already
    }
    wake_.notify_one();
  }

  void Flush() {
    std::unique_lock lock(mutex_);
    written_.wait(lock, [this] { return queued_.empty() && !writing_; });
  }

  std::uint64_t Dropped() const { return dropped_; }

 private:
  void Loop() {
    std::vector<std::string> batch;
    std::string text;
    std::unique_lock lock(mutex_);
    while (true) {
      wake_.wait(lock, [this] { return stopping_ || !queued_.empty(); });
      if (queued_.empty()) return;  // stopping with everything written
      batch.swap(queued_);
      writing_ = true;
      lock.unlock();
      // One write for the whole batch: lines never mix and a burst costs one call.
      text.clear();
      for (const std::string& line : batch) text += line;
      batch.clear();
      WriteAll(text);
      lock.lock();
      writing_ = false;
      written_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_, written_;
  std::vector<std::string> queued_;
  bool writing_ = false;
  bool stopping_ = false;
  std::atomic<std::uint64_t> dropped_{0};
  std::thread thread_;
};

LogQueue& Queue() {
  static LogQueue queue;
  return queue;
}

}  // namespace

std::optional<LogLevel> ParseLogLevel(std::string_view name) {
  if (name == "error") return LogLevel::kError;
  if (name == "warn") return LogLevel::kWarn;
  if (name == "info") return LogLevel::kInfo;
  return std::nullopt;
}

void SetLogLevel(LogLevel level) { gLevel = static_cast<int>(level); }

std::string EscapeForLog(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size());
  for (unsigned char c : bytes) {
    if (c == '\\' || c == '"') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      out += "\\x";
      out += kDigits[c >> 4];
      out += kDigits[c & 0x0F];
    }
  }
  return out;
}

void Log(LogLevel level, std::string_view text) {
  if (static_cast<int>(level) > gLevel) return;
  static constexpr const char* kNames[] = {"error", "warn", "info"};
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  gmtime_r(&now, &tm);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &tm);
  std::string line;
  line.reserve(text.size() + 32);
  line.append(stamp).append(" ").append(kNames[static_cast<int>(level)]).append(" ").append(text).append("\n");
  Queue().Push(std::move(line));
}

void FlushLog() { Queue().Flush(); }

std::uint64_t DroppedLogLines() { return Queue().Dropped(); }

}  // namespace zel::svc
