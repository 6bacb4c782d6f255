// One thread that runs actions when their time comes: the time budget of queries
// waiting for the check-in store, and the scripted delays of test faults.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace zel::svc {

class Timers {
 public:
  using Clock = std::chrono::steady_clock;

  Timers();
  ~Timers();
  Timers(const Timers&) = delete;
  Timers& operator=(const Timers&) = delete;

  // Runs action on the timer thread at the time given (at once after Stop).
  void At(Clock::time_point when, std::function<void()> action);
  // Runs every pending action now and ends the thread.
  void Stop();

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  std::multimap<Clock::time_point, std::function<void()>> pending_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace zel::svc
