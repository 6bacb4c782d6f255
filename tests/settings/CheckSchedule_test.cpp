#include "settings/CheckSchedule.h"

#include <gtest/gtest.h>

namespace zel {

TEST(CheckSchedule, DateIsMonthDayYearAndOneCheckIsMadePerCalendarDay) {
  EXPECT_EQ(DateText({2027, 1, 5}) + " " + DateText({1999, 12, 31}), "01-05-2027 12-31-1999");
  const CivilDate today{2026, 4, 17};
  EXPECT_FALSE(IsCheckDueFor("04-17-2026", today));
  // Yesterday, a year ago, never checked, nothing stored, or a date in another form: due.
  for (const char* last :
       {"04-16-2026", "04-17-2025", "0", "", "4-17-2026", "2026-04-17", "17-04-2026", " 04-17-2026"})
    EXPECT_TRUE(IsCheckDueFor(last, today)) << '"' << last << '"';
}

}  // namespace zel
