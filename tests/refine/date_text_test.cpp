#include "date_text.hpp"

#include <gtest/gtest.h>

namespace {

constexpr std::uint8_t dmy = date_text::order_bit(date_order::dmy);
constexpr std::uint8_t mdy = date_text::order_bit(date_order::mdy);
constexpr std::uint8_t ymd = date_text::order_bit(date_order::ymd);

struct scan_case {
  const wchar_t* text;
  date_fault fault;
  std::uint8_t orders;  // 0: a form that fixes its order
  // In the first order of `orders` (or the fixed one); year 0: no date.
  int year, month, day;
  int hour, minute, second;
  std::uint32_t fraction;
  int fraction_digits;
};

TEST(date_text, forms_orders_and_values) {
  using f = date_fault;
  const scan_case cases[] = {
      {L"2021-12-25", f::none, 0, 2021, 12, 25, 0, 0, 0, 0, 0},
      {L"2021-1-5", f::none, 0, 2021, 1, 5, 0, 0, 0, 0, 0},
      {L"2021/12/25", f::none, 0, 2021, 12, 25, 0, 0, 0, 0, 0},
      {L"2021-12-25T23:59:58.1234567", f::none, 0, 2021, 12, 25, 23, 59, 58, 1234567, 7},
      {L"2021-12-25 10:00", f::none, 0, 2021, 12, 25, 10, 0, 0, 0, 0},
      {L"2021-12-25 10:00:00.5", f::none, 0, 2021, 12, 25, 10, 0, 0, 5000000, 1},
      {L"25/12/2021", f::none, dmy, 2021, 12, 25, 0, 0, 0, 0, 0},
      {L"12/25/2021", f::none, mdy, 2021, 12, 25, 0, 0, 0, 0, 0},
      {L"01/02/2003", f::none, dmy | mdy, 2003, 2, 1, 0, 0, 0, 0, 0},
      {L"25.12.2021", f::none, dmy, 2021, 12, 25, 0, 0, 0, 0, 0},
      {L"25-12-2021 11:30 PM", f::none, dmy, 2021, 12, 25, 23, 30, 0, 0, 0},
      {L"25/12/21", f::none, dmy | ymd, 2021, 12, 25, 0, 0, 0, 0, 0},
      {L"01/02/03", f::none, dmy | mdy | ymd, 2003, 2, 1, 0, 0, 0, 0, 0},
      {L"31/12/49", f::none, dmy, 2049, 12, 31, 0, 0, 0, 0, 0},
      {L"31/12/50", f::none, dmy, 1950, 12, 31, 0, 0, 0, 0, 0},
      {L"29/02/2024", f::none, dmy, 2024, 2, 29, 0, 0, 0, 0, 0},
      {L"25-Dec-2021", f::none, 0, 2021, 12, 25, 0, 0, 0, 0, 0},
      {L"1 january 21", f::none, 0, 2021, 1, 1, 0, 0, 0, 0, 0},
      {L"Dec 25, 2021", f::none, 0, 2021, 12, 25, 0, 0, 0, 0, 0},
      {L"DECEMBER 25 2021 08:00:00", f::none, 0, 2021, 12, 25, 8, 0, 0, 0, 0},
      {L"10:30", f::none, 0, 0, 0, 0, 10, 30, 0, 0, 0},
      {L"9:05:07.25", f::none, 0, 0, 0, 0, 9, 5, 7, 2500000, 2},
      {L"12:00 AM", f::none, 0, 0, 0, 0, 0, 0, 0, 0, 0},
      {L"12:00 pm", f::none, 0, 0, 0, 0, 12, 0, 0, 0, 0},
      {L"2021-02-29", f::invalid_date, 0, 0, 0, 0, 0, 0, 0, 0, 0},
      {L"32/13/2021", f::invalid_date, 0, 0, 0, 0, 0, 0, 0, 0, 0},
      {L"0000-01-01", f::invalid_date, 0, 0, 0, 0, 0, 0, 0, 0, 0},
      {L"24:00", f::invalid_date, 0, 0, 0, 0, 0, 0, 0, 0, 0},
      {L"13:00 PM", f::invalid_date, 0, 0, 0, 0, 0, 0, 0, 0, 0},
      {L"10:00:00.12345678", f::fraction_too_long, 0, 0, 0, 0, 0, 0, 0, 0, 0},
      {L"2021-12", f::not_a_date, 0, 0, 0, 0, 0, 0, 0, 0, 0},
      {L"2021-12-25Z", f::not_a_date, 0, 0, 0, 0, 0, 0, 0, 0, 0},
      {L"2021-12-25T10:00+01:00", f::not_a_date, 0, 0, 0, 0, 0, 0, 0, 0, 0},
      {L"25/12-2021", f::not_a_date, 0, 0, 0, 0, 0, 0, 0, 0, 0},
      {L"25/12/202", f::not_a_date, 0, 0, 0, 0, 0, 0, 0, 0, 0},
      {L"25/12/2021T10:00", f::not_a_date, 0, 0, 0, 0, 0, 0, 0, 0, 0},
      {L" 2021-12-25", f::not_a_date, 0, 0, 0, 0, 0, 0, 0, 0, 0},
      {L"2021-12-25 ", f::not_a_date, 0, 0, 0, 0, 0, 0, 0, 0, 0},
      {L"10:3", f::not_a_date, 0, 0, 0, 0, 0, 0, 0, 0, 0},
      {L"10:30:", f::not_a_date, 0, 0, 0, 0, 0, 0, 0, 0, 0},
      {L"10:30 XM", f::not_a_date, 0, 0, 0, 0, 0, 0, 0, 0, 0},
      {L"Decem 25, 2021", f::not_a_date, 0, 0, 0, 0, 0, 0, 0, 0, 0},
      {L"12345", f::not_a_date, 0, 0, 0, 0, 0, 0, 0, 0, 0},
      {L"", f::not_a_date, 0, 0, 0, 0, 0, 0, 0, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "'" << c.text << "'");
    date_text date;
    ASSERT_EQ(date_text::scan(c.text, date), c.fault);
    if (c.fault != date_fault::none) continue;
    EXPECT_EQ(date.orders, c.orders);
    EXPECT_EQ(date.b_date, c.year != 0);
    if (c.year != 0) {
      const date_order first = (c.orders & dmy)   ? date_order::dmy
                               : (c.orders & mdy) ? date_order::mdy
                               : (c.orders & ymd) ? date_order::ymd
                                                  : date_order::none;
      int year = 0, month = 0, day = 0;
      ASSERT_TRUE(date.resolve(first, year, month, day));
      EXPECT_EQ(year, c.year);
      EXPECT_EQ(month, c.month);
      EXPECT_EQ(day, c.day);
    }
    EXPECT_EQ(date.hour, c.hour);
    EXPECT_EQ(date.minute, c.minute);
    EXPECT_EQ(date.second, c.second);
    EXPECT_EQ(date.fraction, c.fraction);
    EXPECT_EQ(date.fraction_digits, c.fraction_digits);
  }
}

TEST(date_text, resolve_reads_each_order_and_refuses_the_others) {
  date_text date;
  ASSERT_EQ(date_text::scan(L"01/02/03", date), date_fault::none);
  int year = 0, month = 0, day = 0;
  ASSERT_TRUE(date.resolve(date_order::dmy, year, month, day));
  EXPECT_EQ(year * 10000 + month * 100 + day, 20030201);
  ASSERT_TRUE(date.resolve(date_order::mdy, year, month, day));
  EXPECT_EQ(year * 10000 + month * 100 + day, 20030102);
  ASSERT_TRUE(date.resolve(date_order::ymd, year, month, day));
  EXPECT_EQ(year * 10000 + month * 100 + day, 20010203);
  EXPECT_FALSE(date.resolve(date_order::none, year, month, day));

  ASSERT_EQ(date_text::scan(L"25/12/2021", date), date_fault::none);
  EXPECT_FALSE(date.resolve(date_order::mdy, year, month, day));
  EXPECT_FALSE(date.resolve(date_order::ymd, year, month, day));
  EXPECT_EQ(date.earliest_year(), 2021);

  // A fixed form reads the same in every order.
  ASSERT_EQ(date_text::scan(L"1700-03-04", date), date_fault::none);
  ASSERT_TRUE(date.resolve(date_order::mdy, year, month, day));
  EXPECT_EQ(year * 10000 + month * 100 + day, 17000304);
  EXPECT_EQ(date.earliest_year(), 1700);
}

}  // namespace
