// date_text: one text read as a date, a date and time, or a time of day, for
// typing columns.
//
// Accepted forms (the same separator twice within a date; one blank, or 'T'
// after an ISO date, between the date and the time):
//   yyyy-mm-dd, yyyy/mm/dd, yyyy.mm.dd     2021-12-25 (ISO 8601 and kin)
//   a/b/c, a-b-c, a.b.c                    25/12/2021, 12-25-21, 25.12.2021
//   d-mmm-yyyy, d mmm yyyy                 25-Dec-2021, 25 December 21
//   mmm d, yyyy                            Dec 25, 2021
//   time                                   10:30, 10:30:15.1234567, 10:30 PM
// where time is h:mm[:ss[.fraction]] with an optional AM/PM, a fraction of
// at most seven digits (a tenth of a microsecond, what datetime2 keeps), and
// month names English, full or three letters, any case. Two-digit years are
// 1950-2049. No time zones.
//
// Month, day and year fields of the numeric a/b/c form may stand in several
// orders (d/m/y, m/d/y, and y/m/d with a two-digit year); `orders` records
// every order in which the text is a real day, and resolve() reads it in one.
// The other forms fix their order. Reading is one pass with no allocation.
// A plain value; scan() is thread-safe.
#pragma once

#include <cstdint>
#include <string_view>

enum class date_order : std::uint8_t { none, dmy, mdy, ymd };

// "dmy", "mdy", "ymd" (any case) as options and profiles write an order;
// false for any other text, leaving `out` as it was.
bool parse_date_order(std::wstring_view text, date_order& out);
// The written form of an order; "" for none.
const wchar_t* date_order_key(date_order order);

enum class date_fault : std::uint8_t {
  none,
  not_a_date,
  invalid_date,       // the form of a date or time, but no such day or time
  fraction_too_long,  // more than seven digits of a second
};

struct date_text {
  static constexpr int max_fraction_digits = 7;

  static constexpr std::uint8_t order_bit(date_order order) {
    return order == date_order::none ? 0 : static_cast<std::uint8_t>(1u << static_cast<int>(order));
  }

  // Year, month and day for a form that fixes them (a two-digit year made
  // whole); the three numbers in written order for the numeric form.
  std::uint16_t field[3] = {0, 0, 0};
  std::uint8_t field_digits[3] = {0, 0, 0};  // numeric form: digits as written
  // Numeric form only: the orders it reads as a real day in (order_bit); 0 for
  // a form that fixes its order.
  std::uint8_t orders = 0;
  bool b_date = false;
  bool b_time = false;
  std::uint8_t hour = 0;
  std::uint8_t minute = 0;
  std::uint8_t second = 0;
  std::uint8_t fraction_digits = 0;  // as written
  std::uint32_t fraction = 0;        // in units of 100 nanoseconds

  static date_fault scan(std::wstring_view text, date_text& out);

  // Year, month and day read in `order` (which a fixed form ignores); false
  // when the date does not read as a real day in that order.
  bool resolve(date_order order, int& year, int& month, int& day) const;
  // The earliest year the text can stand for in any order (a two-digit year
  // is never before 1950).
  int earliest_year() const;
};
