#include "protocol/PackageDownload.h"

#include <cmath>

namespace zel {
namespace {

// Halves go to the even neighbour, whatever rounding mode the thread is in.
double RoundHalfToEven(double value) {
  const double below = std::floor(value);
  const double fraction = value - below;
  if (fraction > 0.5) return below + 1;
  if (fraction < 0.5) return below;
  return std::fmod(below, 2.0) == 0 ? below : below + 1;
}

}  // namespace

std::optional<std::string> ProgressText(std::string_view format, double done, double total) {
  const double percent = RoundHalfToEven(done / total * 100);
  // Anything a 64-bit integer cannot hold is no percentage either.
  if (!std::isfinite(percent) || std::fabs(percent) > 1e15) return std::nullopt;
  std::string text(format);
  if (const std::size_t at = text.find("%f"); at != std::string::npos)
    text.replace(at, 2, std::to_string(static_cast<long long>(percent)));
  return text;
}

std::string RangeDownloadUrl(std::string_view url) {
  constexpr std::string_view kScheme = "http://";
  return url.starts_with(kScheme) ? std::string(url) : std::string(kScheme) + std::string(url);
}

RangePlan::RangePlan(std::int32_t size)
    : size_(size), single_(size < kPiece), end_(size < kPiece ? size : kPiece) {}

std::string RangePlan::RangeHeader() const {
  return "bytes=" + std::to_string(start_) + "-" + std::to_string(end_);
}

RangePlan::Step RangePlan::Take(int status, std::uint64_t bodyLength, std::string_view contentRange) {
  constexpr int kOk = 200, kPartial = 206, kNotSatisfiable = 416;
  Step step{Verdict::kFail, start_, std::nullopt};
  if (status == kNotSatisfiable) {
    step.verdict = Verdict::kComplete;
    return step;
  }
  if (status != kOk && status != kPartial) return step;
  // A package under 1 MiB asked for in one request is complete when the body is all of
  // it, whatever the status says; a 200 is good for nothing else.
  if (single_ && bodyLength == static_cast<std::uint64_t>(size_)) {
    step.verdict = Verdict::kStoreAndFinish;
    return step;
  }
  if (status == kOk) return step;

  const auto range = ParseContentRange(contentRange);
  if (!range || range->first != static_cast<std::uint64_t>(start_) ||
      range->last > static_cast<std::uint64_t>(end_) || range->total != static_cast<std::uint64_t>(size_) ||
      bodyLength != range->last - range->first + 1)
    return step;
  step.verdict = Verdict::kStoreAndFinish;
  step.got = range;
  const auto last = static_cast<std::int64_t>(range->last);
  const std::int64_t remaining = size_ - last;
  if (remaining <= 1) return step;
  step.verdict = Verdict::kStore;
  start_ = last;
  end_ = remaining >= kPiece ? last + kPiece : size_;
  return step;
}

}  // namespace zel
