// The boundary where failure becomes a result. A procedure that guards its body runs
// it through Guarded: whatever the body throws (out of memory, a conversion that
// cannot be made, a library's own error) gives the procedure's default result, and
// nothing crosses to the caller. The failure goes to the diagnostics log under the
// boundary's label, with its own text.
#pragma once
#include <exception>
#include <utility>

#include "system/DiagnosticsLog.h"

namespace zel {

// The text of the failure being handled.
inline const char* CurrentFailureText() noexcept {
  try {
    throw;
  } catch (const std::exception& failure) {
    return failure.what();
  } catch (...) {
    return "a failure of no known kind";
  }
}

template <typename Result, typename Body>
Result Guarded(const char* label, Result fallback, Body&& body) noexcept {
  try {
    return std::forward<Body>(body)();
  } catch (...) {
    LogFailure(label, CurrentFailureText());
    return fallback;
  }
}

// Runs a step that has no result of its own: false when it failed part-way (what it
// did before the failure stays done).
template <typename Body>
bool GuardedStep(const char* label, Body&& body) noexcept {
  try {
    std::forward<Body>(body)();
    return true;
  } catch (...) {
    LogFailure(label, CurrentFailureText());
    return false;
  }
}

}  // namespace zel
