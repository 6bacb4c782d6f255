#include "ByteRange.h"

#include <gtest/gtest.h>

#include <tuple>

namespace zel::svc {
namespace {

TEST(ByteRange, AnswersTheRangesOfTheProgramAndOfOtherClients) {
  // Header, file size, answer, Content-Range of partial and unsatisfiable answers, length.
  const std::tuple<const char*, std::int64_t, RangeChoice::Kind, const char*, std::int64_t> cases[] = {
      // The program's requests: the last byte asked for is one past the previous answer's.
      {"bytes=0-1048576", 3000000, RangeChoice::kPartial, "bytes 0-1048576/3000000", 1048577},
      {"bytes=2097152-3000000", 3000000, RangeChoice::kPartial, "bytes 2097152-2999999/3000000", 902848},
      {"bytes=1048575-1048576", 1048576, RangeChoice::kPartial, "bytes 1048575-1048575/1048576", 1},
      {"bytes=1048576-2097152", 1048576, RangeChoice::kUnsatisfiable, "bytes */1048576", 0},
      {"bytes=-30", 100, RangeChoice::kPartial, "bytes 70-99/100", 30},
      {"bytes=-300", 100, RangeChoice::kPartial, "bytes 0-99/100", 100},
      {"bytes=0-", 0, RangeChoice::kUnsatisfiable, "bytes */0", 0},
      // Numbers too large for 64 bits stand past the end of any file.
      {"bytes=0-99999999999999999999", 100, RangeChoice::kPartial, "bytes 0-99/100", 100},
      {"bytes=-99999999999999999999", 100, RangeChoice::kPartial, "bytes 0-99/100", 100},
      {"bytes=99999999999999999999-", 100, RangeChoice::kUnsatisfiable, "bytes */100", 0},
      // The unit in any case, blanks around the list's elements, empty list elements.
      {"Bytes=0-9", 100, RangeChoice::kPartial, "bytes 0-9/100", 10},
      {" BYTES=10-19 ", 100, RangeChoice::kPartial, "bytes 10-19/100", 10},
      {"bytes=\t, 20-29 ,", 100, RangeChoice::kPartial, "bytes 20-29/100", 10},
  };
  for (const auto& [header, size, kind, contentRange, length] : cases) {
    const RangeChoice r = ChooseRange(header, size);
    EXPECT_EQ(r.kind, kind) << header;
    EXPECT_EQ(r.length, length) << header;
    EXPECT_EQ(ContentRangeValue(r, size), contentRange) << header;
  }
  // Several ranges, and headers invalid or of another unit, are ignored: the whole file.
  for (const char* header :
       {"", "bytes=0-1,5-6", "bytes=200-100", "bytes=abc", "bytes=", "bytes=-", "bytes=1-2-3", "bytes=+1-5",
        "bytes=1 - 5", "bytes=0x10-20", "bytes 0-9", "bytes =0-9", "items=0-9"}) {
    const RangeChoice r = ChooseRange(header, 100);
    EXPECT_TRUE(r.kind == RangeChoice::kWhole && r.first == 0 && r.length == 100) << header;
  }
}

}  // namespace
}  // namespace zel::svc
