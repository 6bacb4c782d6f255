// A thread that runs jobs one after the other and is kept from one job to the next,
// and the signal by which a job tells whoever waits for it that it is done.
#pragma once
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

namespace zel {

// Set once, by the thread that did the work; waited for or looked at by another. The
// flag is read and written under the mutex, so a Set can never fall between a
// waiter's look and its sleep. (std::atomic's own wait loses exactly such wake-ups
// with the mingw C++ library.)
class DoneSignal {
 public:
  void Set();
  void Wait() const;
  // False when the signal was not set within the time.
  bool WaitFor(std::chrono::milliseconds limit) const;
  bool IsSet() const;

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  bool set_ = false;  // guarded by mutex_
};

// Starting a thread costs more than half of what a whole request on the loopback
// costs, so one thread serves a client's requests one after the other. A worker whose
// job is abandoned is let go: its thread ends after that job.
class WorkerThread {
 public:
  WorkerThread();
  ~WorkerThread();  // waits for the job under way
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  // Hands the thread its next job; the previous one must be done.
  void Run(std::function<void()> job);
  // Lets the thread end by itself after its current job, without waiting for it.
  void LetGo();

 private:
  struct State {
    std::mutex mutex;
    std::condition_variable wake;
    std::function<void()> next;  // guarded by mutex
    bool stop = false;           // guarded by mutex
  };
  static void Loop(State& state);
  void Stop();

  std::shared_ptr<State> state_;  // shared with the thread, which may outlive the worker
  std::thread thread_;
};

// Runs ask on a thread of its own and waits at most limit for its answer, calling
// meanwhile between waits of at most 100 ms. No value when no answer came in time (the
// thread is left to end by itself, owning what it uses), when ask failed, or when no
// thread could be had.
template <typename T>
std::optional<T> AskWithin(std::chrono::milliseconds limit, std::function<std::optional<T>()> ask,
                           const std::function<void()>& meanwhile) {
  struct Asking {
    DoneSignal done;
    std::optional<T> answer;  // written before done is set
  };
  const auto asking = std::make_shared<Asking>();
  try {
    std::thread([asking, ask = std::move(ask)] {
      try {
        asking->answer = ask();
      } catch (...) {
      }
      asking->done.Set();
    }).detach();
  } catch (const std::system_error&) {
    return std::nullopt;
  }
  using Clock = std::chrono::steady_clock;
  using Ms = std::chrono::milliseconds;
  const Clock::time_point deadline = Clock::now() + limit;
  for (;;) {
    const Ms left = std::chrono::ceil<Ms>(deadline - Clock::now());
    if (asking->done.WaitFor(std::clamp(left, Ms(0), Ms(100)))) return std::move(asking->answer);
    if (left.count() <= 0) return std::nullopt;
    meanwhile();
  }
}

}  // namespace zel
