#include "CheckinWriter.h"

#include "AccessLog.h"

namespace zel::svc {

CheckinWriter::CheckinWriter(CheckinStore& store, std::chrono::microseconds window, std::size_t maxQueued)
    : store_(store), window_(window), maxQueued_(maxQueued), thread_([this] { Loop(); }) {}

CheckinWriter::~CheckinWriter() { Stop(); }

bool CheckinWriter::Submit(std::shared_ptr<CheckinJob> job) {
  bool wake = false;
  {
    std::lock_guard lock(mutex_);
    if (queue_.size() >= maxQueued_) return false;
    queue_.push_back(std::move(job));
    // The writer waits for a first job, then for its window to pass or the group
    // to fill; other arrivals need not wake it.
    wake = queue_.size() == 1 || queue_.size() == kMaxGroupRows;
  }
  if (wake) wake_.notify_one();
  return true;
}

void CheckinWriter::Stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  if (thread_.joinable()) thread_.join();
}

void CheckinWriter::Loop() {
  std::unique_lock lock(mutex_);
  while (true) {
    wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (queue_.empty()) return;  // stopping with nothing left
    // The group: what arrives within the window after the first, up to a limit.
    const auto until = std::chrono::steady_clock::now() + window_;
    wake_.wait_until(lock, until, [this] { return stopping_ || queue_.size() >= kMaxGroupRows; });
    // Jobs queue about in the order of their deadlines: those whose time is up stand
    // first, however many piled up while the store was slow, and go at once.
    std::deque<std::shared_ptr<CheckinJob>> expired;
    const auto now = std::chrono::steady_clock::now();
    while (!queue_.empty() && queue_.front()->deadline <= now) {
      expired.push_back(std::move(queue_.front()));
      queue_.pop_front();
    }
    std::deque<std::shared_ptr<CheckinJob>> jobs;
    while (!queue_.empty() && jobs.size() < kMaxGroupRows) {
      jobs.push_back(std::move(queue_.front()));
      queue_.pop_front();
    }
    lock.unlock();
    for (const auto& job : expired) job->finish(false);
    expired.clear();
    Process(jobs);
    lock.lock();
  }
}

void CheckinWriter::DropExpired(std::deque<std::shared_ptr<CheckinJob>>& jobs) {
  const auto now = std::chrono::steady_clock::now();
  std::erase_if(jobs, [now](const std::shared_ptr<CheckinJob>& job) {
    if (job->deadline > now) return false;
    job->finish(false);
    return true;
  });
}

void CheckinWriter::Process(std::deque<std::shared_ptr<CheckinJob>>& jobs) {
  DropExpired(jobs);
  if (jobs.empty()) return;
  std::vector<std::string> uuids;
  for (const auto& job : jobs) {
    if (!job->historyUuid.empty()) uuids.push_back(job->historyUuid);
  }
  const auto start = std::chrono::steady_clock::now();
  std::map<std::string, std::int64_t> lastFull;
  std::string error = uuids.empty() ? "" : store_.LastFullProfiles(uuids, lastFull);

  std::vector<CheckinRow> rows;
  if (error.empty()) {
    DropExpired(jobs);  // the read may have taken the rest of their time
    for (const auto& job : jobs) {
      std::optional<std::int64_t> history;
      if (auto it = lastFull.find(job->historyUuid); it != lastFull.end()) history = it->second;
      const int action = job->decide(*job, history);
      if (action != 0) rows.push_back(CheckinRow::FromQuery(job->time, job->remoteAddr, job->query, action));
    }
    if (!rows.empty()) error = store_.Insert(rows);
  }
  commitLatency_.Observe(
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start));
  if (!error.empty()) ++storeErrors_;
  if (error.empty()) {
    ++commits_;
    rows_ += rows.size();
    if (!lastError_.empty()) Log(LogLevel::kWarn, "check-in store works again");
    lastError_.clear();
  } else if (error != lastError_) {
    Log(LogLevel::kError, "check-ins not stored, queries answered \"try again\": " + EscapeForLog(error));
    lastError_ = error;
  }
  for (const auto& job : jobs) job->finish(error.empty());
}

}  // namespace zel::svc
