#include "ole_datetime.hpp"

#include <cmath>
#include <cstdint>

#include "tk_civil.hpp"

namespace {

// Day 0 of the date numbers, 1899-12-30, counted from 1970-01-01.
constexpr std::int64_t day_zero_from_epoch = -25569;
constexpr double first_serial = -657434.0;  // 0100-01-01
constexpr double last_serial = 2958465.0;   // 9999-12-31
constexpr std::int64_t seconds_per_day = 86400;

std::int64_t days_from_civil(std::int64_t y, unsigned m, unsigned d) {
  return tk_days_from_civil(y, m, d);
}

void civil_from_days(std::int64_t z, int* year, unsigned* month, unsigned* day) {
  const tk_civil_date c = tk_civil_from_days(z);
  *year = c.year;
  *month = c.month;
  *day = c.day;
}

}  // namespace

bool ole_is_leap_year(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int ole_days_in_month(int year, int month) {
  static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && ole_is_leap_year(year) ? 29 : days[month - 1];
}

bool SystemTimeToVariantTime(const SYSTEMTIME& st, DATE* out) {
  if (!out) return false;
  if (st.wHour > 23 || st.wMinute > 59 || st.wSecond > 59) return false;
  std::int64_t serial = 0;
  if (st.wYear != 0 || st.wMonth != 0 || st.wDay != 0) {
    if (st.wYear < 100 || st.wYear > 9999 || st.wMonth < 1 || st.wMonth > 12 || st.wDay < 1 ||
        st.wDay > ole_days_in_month(st.wYear, st.wMonth)) {
      return false;
    }
    serial = days_from_civil(st.wYear, st.wMonth, st.wDay) - day_zero_from_epoch;
  }
  const double time = (st.wHour * 3600.0 + st.wMinute * 60.0 + st.wSecond) / seconds_per_day;
  *out = serial >= 0 ? static_cast<double>(serial) + time : static_cast<double>(serial) - time;
  return true;
}

bool VariantTimeToSystemTime(DATE date, SYSTEMTIME* out) {
  if (!out || !std::isfinite(date) || date <= first_serial - 1.0 || date >= last_serial + 1.0) {
    return false;
  }
  const double whole = std::trunc(date);
  std::int64_t days = static_cast<std::int64_t>(whole);
  std::int64_t seconds = std::llround(std::fabs(date - whole) * seconds_per_day);
  if (seconds >= seconds_per_day) {
    seconds -= seconds_per_day;
    ++days;
  }
  if (days < static_cast<std::int64_t>(first_serial) ||
      days > static_cast<std::int64_t>(last_serial)) {
    return false;
  }
  const std::int64_t epoch_days = days + day_zero_from_epoch;
  int year = 0;
  unsigned month = 0, day = 0;
  civil_from_days(epoch_days, &year, &month, &day);
  SYSTEMTIME st;
  st.wYear = static_cast<std::uint16_t>(year);
  st.wMonth = static_cast<std::uint16_t>(month);
  st.wDay = static_cast<std::uint16_t>(day);
  // 1970-01-01 was a Thursday (4).
  st.wDayOfWeek = static_cast<std::uint16_t>(((epoch_days % 7) + 7 + 4) % 7);
  st.wHour = static_cast<std::uint16_t>(seconds / 3600);
  st.wMinute = static_cast<std::uint16_t>(seconds / 60 % 60);
  st.wSecond = static_cast<std::uint16_t>(seconds % 60);
  st.wMilliseconds = 0;
  *out = st;
  return true;
}
