#include <gtest/gtest.h>

#include "tk_civil.hpp"

TEST(tk_civil, landmarks) {
  struct row {
    int y;
    unsigned m, d;
    std::int64_t days;
  } rows[] = {{1970, 1, 1, 0},        {1899, 12, 30, -25569}, {1900, 1, 1, -25567},
              {1753, 1, 1, -79257},   {2000, 2, 29, 11016},   {9999, 12, 31, 2932896},
              {1, 1, 1, -719162},     {0, 12, 31, -719163},   {-1, 3, 1, -719834}};
  for (const auto& r : rows) {
    EXPECT_EQ(tk_days_from_civil(r.y, r.m, r.d), r.days) << r.y << "-" << r.m << "-" << r.d;
    const tk_civil_date c = tk_civil_from_days(r.days);
    EXPECT_EQ(c.year, r.y);
    EXPECT_EQ(c.month, r.m);
    EXPECT_EQ(c.day, r.d);
  }
}

TEST(tk_civil, every_day_round_trips_and_follows_the_one_before) {
  tk_civil_date previous = tk_civil_from_days(-800001);
  for (std::int64_t days = -800000; days <= 3000000; ++days) {
    const tk_civil_date c = tk_civil_from_days(days);
    ASSERT_EQ(tk_days_from_civil(c.year, c.month, c.day), days);
    const bool b_next_day = c.year == previous.year && c.month == previous.month &&
                            c.day == previous.day + 1;
    const bool b_next_month = c.day == 1 && ((c.year == previous.year && c.month == previous.month + 1) ||
                                             (c.year == previous.year + 1 && c.month == 1 && previous.month == 12));
    ASSERT_TRUE(b_next_day || b_next_month) << days;
    previous = c;
  }
}
