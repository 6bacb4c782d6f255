// The hand-off between the HTTP client's worker thread and the caller that waits for
// its transfer. A wake-up lost there hangs the caller for good (the test's time limit
// ends it), so the test drives many jobs that finish at once (the widest window
// between a waiter's look at the signal and its sleep) while spinning threads keep
// every core busy.
#include "system/WorkerThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace zel {

// Hand-offs while spinning threads keep every core busy: a lost wake-up leaves the
// test waiting for good, and the test's time limit under ctest ends it as a failure.
TEST(WorkerThread, NoHandOffIsLostWhileEveryCoreIsBusy) {
  constexpr int kHandOffs = 100000;
  int handedOff = 0;
  std::atomic<bool> finished{false};
  std::vector<std::thread> helpers;
  for (unsigned i = 0; i < std::max(2u, std::thread::hardware_concurrency()); ++i)
    helpers.emplace_back([&] {
      while (!finished.load(std::memory_order_relaxed)) {
      }
    });
  WorkerThread worker;
  for (int i = 0; i < kHandOffs; ++i) {
    const auto done = std::make_shared<DoneSignal>();  // held by the job, as a transfer is
    worker.Run([done] { done->Set(); });
    done->Wait();
    handedOff += done->IsSet();
  }
  finished = true;
  for (std::thread& helper : helpers) helper.join();
  EXPECT_EQ(handedOff, kHandOffs);
}

// An answer in time is taken; a question still unanswered at its limit is given up,
// with the caller served between the waits, and its thread ends by itself later.
TEST(AskWithin, TakesAnAnswerInTimeAndGivesUpAtTheLimit) {
  using std::chrono::milliseconds;
  int served = 0;
  const auto serve = [&] { ++served; };
  const auto answer = [] { return std::optional<int>(7); };
  EXPECT_EQ(AskWithin<int>(milliseconds(10000), answer, serve), 7);
  const auto answerable = std::make_shared<DoneSignal>();
  const auto start = std::chrono::steady_clock::now();
  const auto late = [answerable] {
    answerable->Wait();
    return std::optional<int>(1);
  };
  EXPECT_EQ(AskWithin<int>(milliseconds(1000), late, serve), std::nullopt);
  EXPECT_TRUE(std::chrono::steady_clock::now() - start >= milliseconds(1000) && served >= 1) << served;
  answerable->Set();
}

}  // namespace zel
