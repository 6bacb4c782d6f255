#include "Timers.h"

namespace zel::svc {

Timers::Timers() {
  thread_ = std::thread([this] {
    std::unique_lock lock(mutex_);
    while (true) {
      if (pending_.empty()) {
        if (stopping_) return;
        wake_.wait(lock);
        continue;
      }
      auto first = pending_.begin();
      if (!stopping_ && first->first > Clock::now()) {
        wake_.wait_until(lock, first->first);
        continue;
      }
      std::function<void()> action = std::move(first->second);
      pending_.erase(first);
      lock.unlock();
      action();
      lock.lock();
    }
  });
}

Timers::~Timers() { Stop(); }

void Timers::At(Clock::time_point when, std::function<void()> action) {
  {
    std::lock_guard lock(mutex_);
    if (!stopping_) {
      const bool earliest = pending_.empty() || when < pending_.begin()->first;
      pending_.emplace(when, std::move(action));
      if (earliest) wake_.notify_one();
      return;
    }
  }
  action();
}

void Timers::Stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  if (thread_.joinable()) thread_.join();
}

}  // namespace zel::svc
