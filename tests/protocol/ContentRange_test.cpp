#include "protocol/ContentRange.h"

#include <gtest/gtest.h>

namespace zel {

TEST(ContentRange, ReadsTheThreeNumbersUpTo64BitsAndARestOfFileIsExactlyThatFromTheOffset) {
  EXPECT_EQ(ParseContentRange("bytes 0-1048575/3000000"), (ContentRange{0, 1048575, 3000000}));
  EXPECT_EQ(ParseContentRange("bytes 7-7/8"), (ContentRange{7, 7, 8}));
  EXPECT_EQ(ParseContentRange("bytes 0-18446744073709551614/18446744073709551615"),
            (ContentRange{0, 18446744073709551614u, 18446744073709551615u}));
  // Nothing else.
  for (const char* bad : {"Bytes 0-9/10", "bytes */100", "bytes 0-9/*", "bytes 0-9", "bytes 0/10",
                          "bytes -9/10", "bytes 0-9/", "bytes +0-9/10", "bytes 0- 9/10", "bytes 0-9/10 ",
                          "bytes 5-4/10", "bytes 0-10/10", "bytes 18446744073709551616-5/10"})
    EXPECT_EQ(ParseContentRange(bad), std::nullopt) << '"' << bad << '"';
  EXPECT_EQ(ParseContentRange(std::string_view("bytes 0-9/10\0", 13)), std::nullopt);

  EXPECT_TRUE(IsRestOfFile("bytes 100-999/1000", 100, 1000));
  for (const char* other : {"bytes 101-999/1000", "bytes 100-998/1000", "bytes 100-1000/1001", "bytes 100-998/999"})
    EXPECT_FALSE(IsRestOfFile(other, 100, 1000)) << other;
  EXPECT_FALSE(IsRestOfFile("bytes 0-0/1", 1, 1));  // nothing is left of a complete file
}

}  // namespace zel
