#include "date_text.hpp"

#include "ole_datetime.hpp"

namespace {

constexpr bool is_digit(wchar_t c) { return c >= L'0' && c <= L'9'; }
constexpr bool is_letter(wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); }
constexpr wchar_t lower(wchar_t c) { return c >= L'A' && c <= L'Z' ? c + (L'a' - L'A') : c; }

// SQL Server's default two-digit year cutoff: 00-49 are 2000-2049.
constexpr int whole_year(int year, int digits) {
  if (digits != 2) return year;
  return year < 50 ? 2000 + year : 1900 + year;
}

bool real_day(int year, int month, int day) {
  return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
         day <= ole_days_in_month(year, month);
}

// Reads the run of digits at p: its count, and its value while it has at
// most four digits (more is never a date field).
int read_digits(const wchar_t*& p, const wchar_t* end, std::uint32_t& value) {
  value = 0;
  int count = 0;
  for (; p != end && is_digit(*p); ++p, ++count)
    if (count < 4) value = value * 10 + static_cast<std::uint32_t>(*p - L'0');
  return count;
}

// An English month name, full or three letters, any case: 1-12, else 0.
int read_month(const wchar_t*& p, const wchar_t* end) {
  static constexpr const char* names[12] = {"january",   "february", "march",    "april",
                                            "may",       "june",     "july",     "august",
                                            "september", "october",  "november", "december"};
  const wchar_t* const start = p;
  while (p != end && is_letter(*p)) ++p;
  const auto length = static_cast<std::size_t>(p - start);
  if (length < 3) return 0;
  for (int month = 0; month < 12; ++month) {
    const std::string_view name = names[month];
    if (length != 3 && length != name.size()) continue;
    std::size_t i = 0;
    while (i < length && lower(start[i]) == static_cast<wchar_t>(name[i])) ++i;
    if (i == length) return month + 1;
  }
  return 0;
}

bool skip(const wchar_t*& p, const wchar_t* end, wchar_t c) {
  if (p == end || *p != c) return false;
  ++p;
  return true;
}

// AM or PM in any case: 1 AM, 2 PM, 0 neither.
int read_meridiem(const wchar_t*& p, const wchar_t* end) {
  if (end - p < 2 || lower(p[1]) != L'm') return 0;
  const wchar_t first = lower(p[0]);
  if (first != L'a' && first != L'p') return 0;
  p += 2;
  return first == L'a' ? 1 : 2;
}

// h:mm[:ss[.fraction]] [AM|PM]
date_fault read_time(const wchar_t*& p, const wchar_t* end, date_text& out) {
  std::uint32_t hour = 0, minute = 0, second = 0;
  const int hour_digits = read_digits(p, end, hour);
  if (hour_digits < 1 || hour_digits > 2 || !skip(p, end, L':')) return date_fault::not_a_date;
  if (read_digits(p, end, minute) != 2) return date_fault::not_a_date;
  bool b_long_fraction = false;
  if (skip(p, end, L':')) {
    if (read_digits(p, end, second) != 2) return date_fault::not_a_date;
    if (skip(p, end, L'.')) {
      int count = 0;
      std::uint32_t fraction = 0;
      for (; p != end && is_digit(*p); ++p, ++count)
        if (count < date_text::max_fraction_digits)
          fraction = fraction * 10 + static_cast<std::uint32_t>(*p - L'0');
      if (count == 0) return date_fault::not_a_date;
      b_long_fraction = count > date_text::max_fraction_digits;
      for (int i = count; i < date_text::max_fraction_digits; ++i) fraction *= 10;
      out.fraction = fraction;
      out.fraction_digits = static_cast<std::uint8_t>(count < 255 ? count : 255);
    }
  }
  int meridiem = 0;
  if (p != end && *p == L' ' && end - p >= 3 && !is_digit(p[1])) {
    const wchar_t* q = p + 1;
    meridiem = read_meridiem(q, end);
    if (meridiem == 0) return date_fault::not_a_date;
    p = q;
  }
  if (meridiem != 0) {
    if (hour < 1 || hour > 12) return date_fault::invalid_date;
    hour = hour % 12 + (meridiem == 2 ? 12 : 0);
  }
  if (hour > 23 || minute > 59 || second > 59) return date_fault::invalid_date;
  if (b_long_fraction) return date_fault::fraction_too_long;
  out.hour = static_cast<std::uint8_t>(hour);
  out.minute = static_cast<std::uint8_t>(minute);
  out.second = static_cast<std::uint8_t>(second);
  out.b_time = true;
  return date_fault::none;
}

// The numeric form read in one order, whatever its `orders` say.
bool read_numeric(const date_text& date, date_order order, int& year, int& month, int& day) {
  const int last_digits = date.field_digits[2];
  switch (order) {
    case date_order::dmy:
    case date_order::mdy:
      if (last_digits != 2 && last_digits != 4) return false;
      year = whole_year(date.field[2], last_digits);
      day = order == date_order::dmy ? date.field[0] : date.field[1];
      month = order == date_order::dmy ? date.field[1] : date.field[0];
      break;
    case date_order::ymd:
      if (date.field_digits[0] != 2 || last_digits > 2) return false;
      year = whole_year(date.field[0], 2);
      month = date.field[1];
      day = date.field[2];
      break;
    default:
      return false;
  }
  return real_day(year, month, day);
}

// Year, month and day of a form that fixes them.
date_fault set_fixed(date_text& out, int year, int month, int day) {
  if (!real_day(year, month, day)) return date_fault::invalid_date;
  out.field[0] = static_cast<std::uint16_t>(year);
  out.field[1] = static_cast<std::uint16_t>(month);
  out.field[2] = static_cast<std::uint16_t>(day);
  out.b_date = true;
  return date_fault::none;
}

// a/b/c: every order in which it is a real day.
date_fault set_numeric(date_text& out, std::uint32_t a, int a_digits, std::uint32_t b,
                       std::uint32_t c, int c_digits) {
  out.field[0] = static_cast<std::uint16_t>(a);
  out.field[1] = static_cast<std::uint16_t>(b);
  out.field[2] = static_cast<std::uint16_t>(c);
  out.field_digits[0] = static_cast<std::uint8_t>(a_digits);
  out.field_digits[2] = static_cast<std::uint8_t>(c_digits);
  for (const date_order order : {date_order::dmy, date_order::mdy, date_order::ymd}) {
    int year = 0, month = 0, day = 0;
    if (read_numeric(out, order, year, month, day)) out.orders |= date_text::order_bit(order);
  }
  if (out.orders == 0) return date_fault::invalid_date;
  out.b_date = true;
  return date_fault::none;
}

// After day and separator: "mmm<sep>yyyy" or "mmm<sep>yy".
date_fault read_month_year(const wchar_t*& p, const wchar_t* end, wchar_t separator, int day,
                           date_text& out) {
  const int month = read_month(p, end);
  if (month == 0 || !skip(p, end, separator)) return date_fault::not_a_date;
  std::uint32_t year = 0;
  const int digits = read_digits(p, end, year);
  if (digits != 2 && digits != 4) return date_fault::not_a_date;
  return set_fixed(out, whole_year(static_cast<int>(year), digits), month, day);
}

// "mmm d[,] yyyy"
date_fault read_month_first(const wchar_t*& p, const wchar_t* end, date_text& out) {
  const int month = read_month(p, end);
  if (month == 0 || !skip(p, end, L' ')) return date_fault::not_a_date;
  std::uint32_t day = 0, year = 0;
  const int day_digits = read_digits(p, end, day);
  if (day_digits < 1 || day_digits > 2) return date_fault::not_a_date;
  skip(p, end, L',');
  if (!skip(p, end, L' ') || read_digits(p, end, year) != 4) return date_fault::not_a_date;
  return set_fixed(out, static_cast<int>(year), month, static_cast<int>(day));
}

// Everything that starts with digits and is no time of day.
date_fault read_numeric_start(const wchar_t*& p, const wchar_t* end, date_text& out, bool& b_iso) {
  std::uint32_t a = 0;
  const int a_digits = read_digits(p, end, a);
  if (p == end) return date_fault::not_a_date;
  const wchar_t separator = *p;
  if (separator == L' ') {
    ++p;
    if (a_digits > 2) return date_fault::not_a_date;
    return read_month_year(p, end, L' ', static_cast<int>(a), out);
  }
  if (separator != L'-' && separator != L'/' && separator != L'.') return date_fault::not_a_date;
  ++p;
  if (a_digits == 4) {
    std::uint32_t month = 0, day = 0;
    const int month_digits = read_digits(p, end, month);
    if (month_digits < 1 || month_digits > 2 || !skip(p, end, separator))
      return date_fault::not_a_date;
    const int day_digits = read_digits(p, end, day);
    if (day_digits < 1 || day_digits > 2) return date_fault::not_a_date;
    b_iso = separator == L'-';
    return set_fixed(out, static_cast<int>(a), static_cast<int>(month), static_cast<int>(day));
  }
  if (a_digits > 2) return date_fault::not_a_date;
  if (p != end && is_letter(*p))
    return read_month_year(p, end, separator, static_cast<int>(a), out);
  std::uint32_t b = 0, c = 0;
  const int b_digits = read_digits(p, end, b);
  if (b_digits < 1 || b_digits > 2 || !skip(p, end, separator)) return date_fault::not_a_date;
  const int c_digits = read_digits(p, end, c);
  if (c_digits < 1 || c_digits == 3 || c_digits > 4) return date_fault::not_a_date;
  return set_numeric(out, a, a_digits, b, c, c_digits);
}

}  // namespace

date_fault date_text::scan(std::wstring_view text, date_text& out) {
  out = date_text{};
  const wchar_t* p = text.data();
  const wchar_t* const end = p + text.size();
  if (p == end) return date_fault::not_a_date;

  if (is_digit(*p)) {
    // A time of day alone: digits, then a colon.
    const wchar_t* q = p;
    while (q != end && is_digit(*q)) ++q;
    if (q != end && *q == L':') {
      const date_fault fault = read_time(p, end, out);
      return fault != date_fault::none || p == end ? fault : date_fault::not_a_date;
    }
  }

  bool b_iso = false;
  date_fault fault = date_fault::not_a_date;
  if (is_digit(*p))
    fault = read_numeric_start(p, end, out, b_iso);
  else if (is_letter(*p))
    fault = read_month_first(p, end, out);
  if (fault != date_fault::none) return fault;
  if (p == end) return date_fault::none;

  // A time after the date.
  if ((*p == L' ' || (b_iso && *p == L'T')) && p + 1 != end && is_digit(p[1])) {
    ++p;
    fault = read_time(p, end, out);
    if (fault != date_fault::none) return fault;
    if (p == end) return date_fault::none;
  }
  return date_fault::not_a_date;
}

bool date_text::resolve(date_order order, int& year, int& month, int& day) const {
  if (orders == 0) {
    year = field[0];
    month = field[1];
    day = field[2];
    return b_date;
  }
  return (orders & order_bit(order)) != 0 && read_numeric(*this, order, year, month, day);
}

int date_text::earliest_year() const {
  if (!b_date) return 0;
  if (orders == 0) return field[0];
  return field_digits[2] == 4 ? field[2] : 1950;
}

bool parse_date_order(std::wstring_view text, date_order& out) {
  for (const date_order order : {date_order::dmy, date_order::mdy, date_order::ymd}) {
    const std::wstring_view key = date_order_key(order);
    if (text.size() != key.size()) continue;
    bool b_same = true;
    for (std::size_t i = 0; i < key.size() && b_same; ++i)
      b_same = (text[i] | 0x20) == key[i];
    if (b_same) {
      out = order;
      return true;
    }
  }
  return false;
}

const wchar_t* date_order_key(date_order order) {
  switch (order) {
    case date_order::dmy:
      return L"dmy";
    case date_order::mdy:
      return L"mdy";
    case date_order::ymd:
      return L"ymd";
    default:
      return L"";
  }
}
