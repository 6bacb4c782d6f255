// The boundary where failure becomes a result. A procedure that guards its body runs
// it through Guarded: whatever the body throws (out of memory, a conversion that
// cannot be made, a library's own error) gives the procedure's default result, and
// nothing crosses to the caller.
#pragma once
#include <utility>

namespace zel {

template <typename Result, typename Body>
Result Guarded(Result fallback, Body&& body) noexcept {
  try {
    return std::forward<Body>(body)();
  } catch (...) {
    return fallback;
  }
}

// Runs a step that has no result of its own: false when it failed part-way (what it
// did before the failure stays done).
template <typename Body>
bool GuardedStep(Body&& body) noexcept {
  try {
    std::forward<Body>(body)();
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace zel
