#include "protocol/PackageDownload.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <tuple>
#include <vector>

namespace zel {
namespace {

using Verdict = RangePlan::Verdict;

struct Answer {
  int status;
  std::uint64_t bodyLength;
  std::string contentRange;
};

// A server that honours "bytes=F-L" as the reference service and nginx do: a last
// byte beyond the end is cut to the end, a first byte at or beyond it gets 416.
Answer Serve(std::int64_t size, std::string_view range) {
  std::int64_t first = 0, last = 0;
  range.remove_prefix(std::string_view("bytes=").size());
  const char* dash = std::from_chars(range.data(), range.data() + range.size(), first).ptr;
  std::from_chars(dash + 1, range.data() + range.size(), last);
  if (first >= size) return {416, 0, "bytes */" + std::to_string(size)};
  last = std::min(last, size - 1);
  return {206, static_cast<std::uint64_t>(last - first + 1),
          "bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" + std::to_string(size)};
}

struct Walk {
  std::vector<std::string> ranges;    // asked
  std::vector<std::int64_t> offsets;  // where each body went
  std::vector<std::string> shown;     // progress texts
  Verdict end = Verdict::kFail;
};

Walk WalkAgainstServer(std::int32_t size) {
  RangePlan plan(size);
  Walk walk;
  for (int request = 0; request < 100; ++request) {
    walk.ranges.push_back(plan.RangeHeader());
    const Answer answer = Serve(size, walk.ranges.back());
    const RangePlan::Step step = plan.Take(answer.status, answer.bodyLength, answer.contentRange);
    if (step.verdict == Verdict::kStore || step.verdict == Verdict::kStoreAndFinish)
      walk.offsets.push_back(step.offset);
    if (step.got) walk.shown.push_back(*ProgressText("%f", step.got->last, step.got->total));
    if (step.verdict != Verdict::kStore) {
      walk.end = step.verdict;
      break;
    }
  }
  return walk;
}

TEST(RangePlan, ThreeMillionBytesInThreeRequestsEachStartingAtTheLastByteReceived) {
  const Walk walk = WalkAgainstServer(3000000);
  EXPECT_EQ(walk.ranges,
            (std::vector<std::string>{"bytes=0-1048576", "bytes=1048576-2097152", "bytes=2097152-3000000"}));
  EXPECT_EQ(walk.offsets, (std::vector<std::int64_t>{0, 1048576, 2097152}));
  EXPECT_EQ(walk.shown, (std::vector<std::string>{"35", "70", "100"}));
  EXPECT_EQ(walk.end, Verdict::kStoreAndFinish);
}

TEST(RangePlan, OneRequestAroundOneMebibyte) {
  // Under 1 MiB: one request for the whole package, which completes it without progress.
  const Walk below = WalkAgainstServer(1048575);
  EXPECT_EQ(below.ranges, std::vector<std::string>{"bytes=0-1048575"});
  EXPECT_EQ(below.shown, std::vector<std::string>{});
  EXPECT_EQ(below.end, Verdict::kStoreAndFinish);
  // From 1 MiB on the first request covers 1048577 bytes: one answer still ends it.
  for (const std::int32_t size : {1048576, 1048577}) {
    const Walk walk = WalkAgainstServer(size);
    EXPECT_EQ(walk.ranges, std::vector<std::string>{"bytes=0-1048576"}) << size;
    EXPECT_EQ(walk.shown, std::vector<std::string>{"100"}) << size;
    EXPECT_EQ(walk.end, Verdict::kStoreAndFinish) << size;
  }
}

// Which answers the route refuses, and how it reads the range an answer announces;
// 416 and the whole-file answers are left to the network tests.
TEST(RangePlan, AnAnswerCountsByTheRangeItAnnounces) {
  EXPECT_EQ(RangePlan(1048575).Take(200, 1048574, "").verdict, Verdict::kFail);
  // All of a package under 1 MiB completes it whatever the status, Content-Range or
  // not; from 1 MiB on an answer needs its Content-Range.
  EXPECT_EQ(RangePlan(1048575).Take(206, 1048575, "").verdict, Verdict::kStoreAndFinish);
  EXPECT_EQ(RangePlan(1048576).Take(206, 1048576, "").verdict, Verdict::kFail);
  RangePlan plan(3000000);
  ASSERT_EQ(plan.Take(206, 1048577, "bytes 0-1048576/3000000").verdict, Verdict::kStore);
  // The request due is bytes=1048576-2097152.
  for (const Answer& bad : std::vector<Answer>{{204, 9, "bytes 1048576-2097152/3000000"},
                                               {206, 9, "bytes 1048576-2097152"},
                                               {206, 9, "bytes 1048576/2097152"},
                                               {206, 9, "bytes 1048576-*/3000000"},
                                               {206, 9, "bytes 1048576-2097152/*"},
                                               {206, 9, "bytes 1048576-2147483648/3000000"}}) {
    RangePlan copy = plan;
    EXPECT_EQ(copy.Take(bad.status, bad.bodyLength, bad.contentRange).verdict, Verdict::kFail)
        << bad.status << " " << bad.contentRange;
  }
  // The body goes where the request started, however long it is and whatever its
  // status; the next request starts at the last byte announced and ends 1 MiB later
  // or at the announced total.
  for (const auto& [status, header, next] : std::vector<std::tuple<int, std::string, std::string>>{
           {206, "bytes 1048576-1049576/3000000", "bytes=1049576-2098152"},
           {200, "bytes 7-2097152/3000000", "bytes=2097152-3000000"},
           {206, "bytes 1048576-2097152/3000001", "bytes=2097152-3000001"},
           {206, "x- 2097152 / 2500000", "bytes=2097152-2500000"}}) {
    RangePlan copy = plan;
    const RangePlan::Step step = copy.Take(status, 5, header);
    EXPECT_EQ(step.verdict, Verdict::kStore) << header;
    EXPECT_EQ(step.offset, 1048576) << header;
    EXPECT_EQ(copy.RangeHeader(), next) << header;
  }
  // Announced up to the end or past it: the download is complete.
  for (const char* header : {"bytes 1048576-2999999/3000000", "bytes 1048576-3000000/3000000", "bytes 0-9/5"}) {
    RangePlan copy = plan;
    EXPECT_EQ(copy.Take(206, 5, header).verdict, Verdict::kStoreAndFinish) << header;
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
