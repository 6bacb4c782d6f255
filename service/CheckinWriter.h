// Group commit of check-ins: one thread collects the queries that arrive within a
// few milliseconds, looks up what their answers depend on in one read, and commits
// their rows in one transaction. A query is answered only once its row is
// committed, so nothing answered is lost; when the store fails, every query of the
// group is told so at once. A job whose query ran out of time while it waited is
// dropped unread and unstored, so a slow or absent store never records actions
// nobody was told; and the queue holds at most a fixed number of jobs, so a store
// that cannot keep up turns the excess into "try again" at once instead of memory.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "CheckinStore.h"
#include "Metrics.h"

namespace zel::svc {

struct CheckinJob {
  UpdateQuery query;
  std::string remoteAddr;
  std::int64_t time = 0;
  // Non-empty when the answer depends on when this installation last sent its
  // full profile.
  std::string historyUuid;
  // When the query's time budget ends: a job still waiting then was answered "try
  // again" and is dropped, never stored.
  std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max();
  // Makes the answer from that history and returns its action (0: no row).
  std::function<int(const CheckinJob& job, std::optional<std::int64_t> lastFullProfile)> decide;
  // Called once, on the writer's thread: true when the row is committed.
  std::function<void(bool committed)> finish;
};

class CheckinWriter {
 public:
  CheckinWriter(CheckinStore& store, std::chrono::microseconds window, std::size_t maxQueued);
  ~CheckinWriter();
  CheckinWriter(const CheckinWriter&) = delete;
  CheckinWriter& operator=(const CheckinWriter&) = delete;

  // False, with the job left alone, when the queue is full.
  bool Submit(std::shared_ptr<CheckinJob> job);
  // Finishes the jobs already submitted, then ends the thread.
  void Stop();

  std::uint64_t Commits() const { return commits_; }
  std::uint64_t Rows() const { return rows_; }
  // Groups the store failed to read or commit.
  std::uint64_t StoreErrors() const { return storeErrors_; }
  // How long each group's read and commit took, failed ones included.
  const LatencyHistogram& CommitLatency() const { return commitLatency_; }
  std::size_t Queued() {
    std::lock_guard lock(mutex_);
    return queue_.size();
  }

 private:
  void Loop();
  void Process(std::deque<std::shared_ptr<CheckinJob>>& jobs);
  // Moves the jobs whose time is up out of jobs, finishes them as not stored.
  static void DropExpired(std::deque<std::shared_ptr<CheckinJob>>& jobs);

  CheckinStore& store_;
  const std::chrono::microseconds window_;
  const std::size_t maxQueued_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::shared_ptr<CheckinJob>> queue_;
  bool stopping_ = false;
  std::atomic<std::uint64_t> commits_{0};
  std::atomic<std::uint64_t> rows_{0};
  std::atomic<std::uint64_t> storeErrors_{0};
  LatencyHistogram commitLatency_;
  std::string lastError_;  // the store's last failure, logged once until it recovers
  std::thread thread_;
};

// Most check-ins one transaction takes.
inline constexpr std::size_t kMaxGroupRows = 512;

}  // namespace zel::svc
