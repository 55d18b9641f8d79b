// tk_civil: day counts of the proleptic Gregorian calendar, the one place
// every layer turns a civil date into a day number and back (date numbers,
// DB-Library's datetime days, workbook serials).
//
// Days are counted from 1970-01-01 (H. Hinnant's algorithms); any year an
// int holds works, negative ones included. Pure constexpr functions.
#pragma once

#include <cstdint>

struct tk_civil_date {
  int year = 1970;
  unsigned month = 1;
  unsigned day = 1;
};

constexpr std::int64_t tk_days_from_civil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

constexpr tk_civil_date tk_civil_from_days(std::int64_t z) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  tk_civil_date out;
  out.day = doy - (153 * mp + 2) / 5 + 1;
  out.month = mp < 10 ? mp + 3 : mp - 9;
  out.year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (out.month <= 2));
  return out;
}

// Landmarks as day numbers.
inline constexpr std::int64_t tk_day_1900 = tk_days_from_civil(1900, 1, 1);  // DB-Library's day 0
inline constexpr std::int64_t tk_day_zero = tk_days_from_civil(1899, 12, 30);  // date number 0
inline constexpr std::int64_t tk_day_0001 = tk_days_from_civil(1, 1, 1);  // datetime2's day 0

static_assert(tk_day_zero == -25569 && tk_day_1900 == -25567);
