#include "system/WorkerThread.h"

#include <utility>

namespace zel {

void DoneSignal::Set() {
  // Notified under the lock: a waiter that returns may destroy the signal at once.
  std::lock_guard lock(mutex_);
  set_ = true;
  changed_.notify_all();
}

void DoneSignal::Wait() const {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return set_; });
}

bool DoneSignal::WaitFor(std::chrono::milliseconds limit) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, limit, [this] { return set_; });
}

bool DoneSignal::IsSet() const {
  std::lock_guard lock(mutex_);
  return set_;
}

WorkerThread::WorkerThread()
    : state_(std::make_shared<State>()), thread_([state = state_] { Loop(*state); }) {}

WorkerThread::~WorkerThread() {
  if (!thread_.joinable()) return;
  Stop();
  thread_.join();
}

void WorkerThread::Run(std::function<void()> job) {
  {
    std::lock_guard lock(state_->mutex);
    state_->next = std::move(job);
  }
  state_->wake.notify_one();
}

void WorkerThread::LetGo() {
  Stop();
  thread_.detach();
}

void WorkerThread::Loop(State& state) {
  for (;;) {
    std::function<void()> job;
    {
      std::unique_lock lock(state.mutex);
      state.wake.wait(lock, [&] { return state.next || state.stop; });
      if (!state.next) return;
      job = std::exchange(state.next, nullptr);
    }
    job();
  }
}

void WorkerThread::Stop() {
  {
    std::lock_guard lock(state_->mutex);
    state_->stop = true;
  }
  state_->wake.notify_one();
}

}  // namespace zel
