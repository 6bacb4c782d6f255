#include "protocol/PackageDownload.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "protocol/ContentRange.h"

namespace zel {
namespace {

using Verdict = RangePlan::Verdict;

// Walks a package of `size` bytes against a server that honours "bytes=F-L" as the
// reference service and nginx do (a last byte beyond the end is cut to the end): one
// "range @offset progress" text per request, and the verdict that ended the walk.
std::pair<std::vector<std::string>, Verdict> Walk(std::int64_t size) {
  RangePlan plan(static_cast<std::int32_t>(size));
  std::vector<std::string> steps;
  for (int request = 0; request < 100; ++request) {
    const std::string range = plan.RangeHeader();  // "bytes=F-L": read as a Content-Range of a huge file
    const ContentRange asked =
        *ParseContentRange(range.substr(0, 5) + " " + range.substr(6) + "/" + std::to_string(1ull << 62));
    const std::uint64_t first = asked.first, last = std::min<std::uint64_t>(asked.last, size - 1);
    const std::string announced =
        "bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" + std::to_string(size);
    const RangePlan::Step step = plan.Take(206, last - first + 1, announced);
    steps.push_back(range + " @" + std::to_string(step.offset));
    if (step.got) steps.back().append(" ").append(*ProgressText("%f", step.got->last, step.got->total));
    if (step.verdict != Verdict::kStore) return {steps, step.verdict};
  }
  return {steps, Verdict::kFail};
}

// Each request starts at the last byte received; under 1 MiB one request for the
// whole package completes it without progress.
TEST(RangePlan, WalksThePackageInMebibyteRequestsAndAnAnswerCountsByTheRangeItAnnounces) {
  const std::pair<std::int64_t, std::vector<std::string>> rows[] = {
      {3000000,
       {"bytes=0-1048576 @0 35", "bytes=1048576-2097152 @1048576 70", "bytes=2097152-3000000 @2097152 100"}},
      {1048575, {"bytes=0-1048575 @0"}},
      {1048576, {"bytes=0-1048576 @0 100"}},
      {1048577, {"bytes=0-1048576 @0 100"}},
  };
  for (const auto& [size, steps] : rows)
    EXPECT_EQ(Walk(size), std::pair(steps, Verdict::kStoreAndFinish)) << size;

  // How the route reads the range an answer announces; 416 and the whole-file answers
  // are left to the network tests.
  // Less than all of a package under 1 MiB, without a Content-Range, completes nothing.
  EXPECT_EQ(RangePlan(1048575).Take(200, 1048574, "").verdict, Verdict::kFail);
  RangePlan plan(3000000);
  ASSERT_EQ(plan.Take(206, 1048577, "bytes 0-1048576/3000000").verdict, Verdict::kStore);
  // The request due is bytes=1048576-2097152. The body goes where it started, however
  // long and whatever its status; the next request starts at the last byte announced
  // and ends 1 MiB later or at the announced total.
  const std::tuple<int, const char*, Verdict, const char*> answers[] = {
      {204, "bytes 1048576-2097152/3000000", Verdict::kFail, ""},
      {206, "bytes 1048576-2097152", Verdict::kFail, ""},
      {206, "bytes 1048576/2097152", Verdict::kFail, ""},
      {206, "bytes 1048576-*/3000000", Verdict::kFail, ""},
      {206, "bytes 1048576-2097152/*", Verdict::kFail, ""},
      {206, "bytes 1048576-2147483648/3000000", Verdict::kFail, ""},
      {206, "bytes 1048576-1049576/3000000", Verdict::kStore, "bytes=1049576-2098152"},
      {200, "bytes 7-2097152/3000000", Verdict::kStore, "bytes=2097152-3000000"},
      {206, "bytes 1048576-2097152/3000001", Verdict::kStore, "bytes=2097152-3000001"},
      {206, "x- 2097152 / 2500000", Verdict::kStore, "bytes=2097152-2500000"},
      // Announced up to the end or past it: the download is complete.
      {206, "bytes 1048576-2999999/3000000", Verdict::kStoreAndFinish, ""},
      {206, "bytes 1048576-3000000/3000000", Verdict::kStoreAndFinish, ""},
      {206, "bytes 0-9/5", Verdict::kStoreAndFinish, ""},
  };
  for (const auto& [status, header, verdict, next] : answers) {
    SCOPED_TRACE(std::to_string(status) + " " + header);
    RangePlan copy = plan;
    const RangePlan::Step step = copy.Take(status, 5, header);
    EXPECT_EQ(std::tuple(step.verdict, step.offset, verdict == Verdict::kStore ? copy.RangeHeader() : ""),
              std::tuple(verdict, 1048576, next));
  }
}

TEST(ProgressText, TheFirstPercentFBecomesTheWholePercentageHalvesToEven) {
  EXPECT_EQ(ProgressText("%f and %f", 1, 3), "33 and %f");
  EXPECT_EQ(ProgressText("no placeholder", 1, 3), "no placeholder");
  EXPECT_EQ(ProgressText("%f", 1, 8), "12");  // 12.5
  EXPECT_EQ(ProgressText("%f", 3, 8), "38");  // 37.5
  EXPECT_EQ(ProgressText("%f", 1, 0), std::nullopt);
  EXPECT_EQ(ProgressText("%f", 0, 0), std::nullopt);
}

TEST(RangeDownloadUrl, EverythingButAnExactHttpPrefixGetsOneInFront) {
  EXPECT_EQ(RangeDownloadUrl("http://h/p.exe"), "http://h/p.exe");
  EXPECT_EQ(RangeDownloadUrl("https://h/p.exe"), "http://https://h/p.exe");
}

}  // namespace
}  // namespace zel
