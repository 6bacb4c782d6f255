// A thread that runs jobs one after the other and is kept from one job to the next,
// and the signal by which a job tells whoever waits for it that it is done.
#pragma once
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
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

}  // namespace zel
