#include "ByteRange.h"

#include <gtest/gtest.h>

namespace zel::svc {
namespace {

TEST(ByteRange, AnswersTheRangesOfTheProgramAndOfOtherClients) {
  struct {
    const char* header;
    std::int64_t size;
    RangeChoice::Kind kind;
    const char* content_range;  // for partial and unsatisfiable answers
    std::int64_t length;
  } const cases[] = {
      // The program's requests: the last byte asked for is one past the previous answer's.
      {"bytes=0-1048576", 3000000, RangeChoice::kPartial, "bytes 0-1048576/3000000", 1048577},
      {"bytes=2097152-3000000", 3000000, RangeChoice::kPartial, "bytes 2097152-2999999/3000000", 902848},
      {"bytes=1048575-1048576", 1048576, RangeChoice::kPartial, "bytes 1048575-1048575/1048576", 1},
      {"bytes=1048576-2097152", 1048576, RangeChoice::kUnsatisfiable, "bytes */1048576", 0},
      {"bytes=10-", 100, RangeChoice::kPartial, "bytes 10-99/100", 90},
      {"bytes=-30", 100, RangeChoice::kPartial, "bytes 70-99/100", 30},
      {"bytes=-300", 100, RangeChoice::kPartial, "bytes 0-99/100", 100},
      {"bytes=-0", 100, RangeChoice::kUnsatisfiable, "bytes */100", 0},
      {"bytes=0-", 0, RangeChoice::kUnsatisfiable, "bytes */0", 0},
      // Ignored: the whole file.
      {"", 100, RangeChoice::kWhole, nullptr, 100},
      {"bytes=0-1,5-6", 100, RangeChoice::kWhole, nullptr, 100},
      {"bytes=9-5", 100, RangeChoice::kWhole, nullptr, 100},
      {"items=0-5", 100, RangeChoice::kWhole, nullptr, 100},
      {"bytes=0-99999999999999999999", 100, RangeChoice::kWhole, nullptr, 100},
  };
  for (const auto& c : cases) {
    const RangeChoice r = ChooseRange(c.header, c.size);
    EXPECT_EQ(r.kind, c.kind) << c.header;
    EXPECT_EQ(r.length, c.length) << c.header;
    if (c.content_range) {
      EXPECT_EQ(ContentRangeValue(r, c.size), c.content_range) << c.header;
    }
  }
}

}  // namespace
}  // namespace zel::svc
