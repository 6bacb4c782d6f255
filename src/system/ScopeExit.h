// A scope guard for one-off undo steps; Release() once the operation succeeded.
#pragma once
#include <utility>

namespace zel {

template <typename F>
class ScopeExit {
 public:
  explicit ScopeExit(F f) : f_(std::move(f)) {}
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;
  ~ScopeExit() {
    if (armed_) f_();
  }
  void Release() { armed_ = false; }

 private:
  F f_;
  bool armed_ = true;
};

}  // namespace zel
