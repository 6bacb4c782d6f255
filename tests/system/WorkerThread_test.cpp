// The hand-off between the HTTP client's worker thread and the caller that waits for
// its transfer. A wake-up lost there hangs the caller for good, so the test drives
// many jobs that finish at once (the widest window between a waiter's look at the
// signal and its sleep) while spinning threads keep every core busy, and a watchdog
// ends the process with a message instead of letting the test hang.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include "system/WorkerThread.h"

namespace zel {
namespace {

using namespace std::chrono_literals;

// Threads that spin until the scope ends.
class CoreLoad {
 public:
  CoreLoad() {
    for (unsigned i = 0; i < std::max(2u, std::thread::hardware_concurrency()); ++i)
      threads_.emplace_back([this] {
        while (!stop_.load(std::memory_order_relaxed)) {
        }
      });
  }
  ~CoreLoad() {
    stop_ = true;
    for (std::thread& thread : threads_) thread.join();
  }

 private:
  std::atomic<bool> stop_{false};
  std::vector<std::thread> threads_;
};

// Ends the process with exit code 3 when the count stops moving for the given time:
// a lost wake-up stops it for good, a slow machine only slows it down.
class StallWatchdog {
 public:
  StallWatchdog(std::chrono::seconds limit, const std::atomic<int>& count)
      : thread_([this, limit, &count] {
          int seen = -1;
          auto since = std::chrono::steady_clock::now();
          while (!done_.load()) {
            const auto now = std::chrono::steady_clock::now();
            if (const int current = count.load(); current != seen) {
              seen = current;
              since = now;
            } else if (now - since > limit) {
              std::fprintf(stderr, "watchdog: a wait still blocked after %d hand-offs\n", current);
              std::fflush(stderr);
              std::_Exit(3);
            }
            std::this_thread::sleep_for(20ms);
          }
        }) {}
  ~StallWatchdog() {
    done_ = true;
    thread_.join();
  }

 private:
  std::atomic<bool> done_{false};
  std::thread thread_;
};

TEST(WorkerThread, NoHandOffIsLostWhileEveryCoreIsBusy) {
  constexpr int kHandOffs = 100000;
  std::atomic<int> handedOff{0};
  const StallWatchdog watchdog(10s, handedOff);
  const CoreLoad load;
  WorkerThread worker;
  for (int i = 0; i < kHandOffs; ++i) {
    const auto done = std::make_shared<DoneSignal>();  // held by the job, as a transfer is
    worker.Run([done] { done->Set(); });
    done->Wait();
    ASSERT_TRUE(done->IsSet());
    handedOff.store(i + 1, std::memory_order_relaxed);
  }
}

}  // namespace
}  // namespace zel
