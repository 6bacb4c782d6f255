#include "protocol/PackageDownload.h"

#include <charconv>
#include <cmath>

#include "system/Text.h"

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

// A 32-bit decimal, blanks around it allowed; no value for anything else.
std::optional<std::int64_t> Int32Of(std::string_view blanked) {
  const std::string trimmed = TrimSpaces(blanked);
  std::string_view text = trimmed;
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  std::int32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<RangePlan::Announced> ReadAnnounced(std::string_view header) {
  const std::size_t dash = header.find('-');
  if (dash == std::string_view::npos) return std::nullopt;
  const std::string_view after = header.substr(dash + 1);
  const std::size_t slash = after.find('/');
  if (slash == std::string_view::npos) return std::nullopt;
  const auto last = Int32Of(after.substr(0, slash));
  const auto total = Int32Of(after.substr(slash + 1));
  if (!last || !total) return std::nullopt;
  return RangePlan::Announced{*last, *total};
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
  if (single_ && bodyLength == static_cast<std::uint64_t>(size_)) {
    step.verdict = Verdict::kStoreAndFinish;
    return step;
  }
  step.got = ReadAnnounced(contentRange);
  if (!step.got) return step;
  const std::int64_t remaining = step.got->total - step.got->last;
  step.verdict = Verdict::kStoreAndFinish;
  if (remaining <= 1) return step;
  step.verdict = Verdict::kStore;
  start_ = step.got->last;
  end_ = remaining >= kPiece ? start_ + kPiece : step.got->total;
  return step;
}

}  // namespace zel
