// Counters of the running service, read by the admin listener's /metrics in the
// Prometheus text format. Every update is one atomic addition, so counting costs a
// query nothing it would notice.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

namespace zel::svc {

// A latency histogram with fixed buckets, in seconds as Prometheus expects.
class LatencyHistogram {
 public:
  static constexpr std::array<double, 11> kBounds = {0.001, 0.002, 0.005, 0.01, 0.025, 0.05,
                                                     0.1,   0.25,  0.5,   1.0,  2.5};
  void Observe(std::chrono::microseconds took);
  // The lines of the histogram NAME: buckets (cumulative), sum and count.
  std::string Text(const std::string& name) const;

 private:
  std::array<std::atomic<std::uint64_t>, kBounds.size() + 1> buckets_{};  // the last: above every bound
  std::atomic<std::uint64_t> sumMicros_{0};
};

// Why a query was answered "try again".
enum class TryAgainReason { kStoreFailed, kBudget, kQueueFull, kStopping, kCount };

struct ServiceMetrics {
  std::array<std::atomic<std::uint64_t>, 3> answers{};  // actions 31, 32 (full profile wanted), 33
  std::array<std::atomic<std::uint64_t>, static_cast<std::size_t>(TryAgainReason::kCount)> tryAgain{};
  // Answers by status class: 2xx, 3xx, 4xx, 5xx, and requests that got none.
  std::array<std::atomic<std::uint64_t>, 5> responses{};

  void CountAction(int action);
  void CountTryAgain(TryAgainReason reason) { ++tryAgain[static_cast<std::size_t>(reason)]; }
  void CountResponse(int status);  // 0: no answer went out
  // The counters' lines.
  std::string Text() const;
};

}  // namespace zel::svc
