#include "Metrics.h"

#include <cstdio>

namespace zel::svc {

void LatencyHistogram::Observe(std::chrono::microseconds took) {
  const double seconds = static_cast<double>(took.count()) / 1e6;
  std::size_t i = 0;
  while (i < kBounds.size() && seconds > kBounds[i]) ++i;
  ++buckets_[i];
  sumMicros_ += static_cast<std::uint64_t>(took.count() > 0 ? took.count() : 0);
}

std::string LatencyHistogram::Text(const std::string& name) const {
  std::string text = "# TYPE " + name + " histogram\n";
  std::uint64_t total = 0;
  char line[160];
  for (std::size_t i = 0; i < buckets_.size(); ++i) {
    total += buckets_[i];
    if (i < kBounds.size()) {
      std::snprintf(line, sizeof line, "%s_bucket{le=\"%g\"} %llu\n", name.c_str(), kBounds[i],
                    static_cast<unsigned long long>(total));
    } else {
      std::snprintf(line, sizeof line, "%s_bucket{le=\"+Inf\"} %llu\n", name.c_str(),
                    static_cast<unsigned long long>(total));
    }
    text += line;
  }
  std::snprintf(line, sizeof line, "%s_sum %.6f\n%s_count %llu\n", name.c_str(),
                static_cast<double>(sumMicros_.load()) / 1e6, name.c_str(), static_cast<unsigned long long>(total));
  return text + line;
}

void ServiceMetrics::CountAction(int action) {
  if (action >= 31 && action <= 33) ++answers[static_cast<std::size_t>(action - 31)];
}

void ServiceMetrics::CountResponse(int status) {
  ++responses[status >= 200 && status < 600 ? static_cast<std::size_t>(status / 100 - 2) : 4];
}

std::string ServiceMetrics::Text() const {
  std::string text = "# TYPE zelupdate_answers_total counter\n";
  for (int action = 31; action <= 33; ++action) {
    text += "zelupdate_answers_total{action=\"" + std::to_string(action) + "\"} " +
            std::to_string(answers[static_cast<std::size_t>(action - 31)].load()) + "\n";
  }
  static constexpr const char* kReasons[] = {"store_failed", "budget", "queue_full", "stopping"};
  text += "# TYPE zelupdate_try_again_total counter\n";
  for (std::size_t i = 0; i < tryAgain.size(); ++i) {
    text += std::string("zelupdate_try_again_total{reason=\"") + kReasons[i] + "\"} " +
            std::to_string(tryAgain[i].load()) + "\n";
  }
  static constexpr const char* kClasses[] = {"2xx", "3xx", "4xx", "5xx", "none"};
  text += "# TYPE zelupdate_responses_total counter\n";
  for (std::size_t i = 0; i < responses.size(); ++i) {
    text += std::string("zelupdate_responses_total{status=\"") + kClasses[i] + "\"} " +
            std::to_string(responses[i].load()) + "\n";
  }
  return text;
}

}  // namespace zel::svc
