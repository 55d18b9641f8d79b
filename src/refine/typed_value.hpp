// typed_value: one value converted to the type a column_verdict chose.
//
// The conversions read a text with the same readers the classifier judged it
// with (number_text, date_text, the verdict's date order), so a value the
// classifier counted always converts, and to the value it was judged to mean.
// They return false when a value does not convert to the verdict's type: a
// value the classifier never saw, or a verdict that keeps values as they are
// (text, as_declared). An empty value is NULL in a typed column.
//
// Only the members of the verdict's type are set. A plain value; the
// conversions are thread-safe.
#pragma once

#include <cstdint>
#include <string_view>

#include "column_verdict.hpp"
#include "ole_types.hpp"

struct typed_value {
  bool b_null = false;
  // bit (0 or 1), int, bigint; money in ten-thousandths.
  std::int64_t integer = 0;
  // decimal: the value times 10^scale of the verdict (|value| < 10^38).
  __int128 decimal = 0;
  // float.
  double real = 0;
  // date, datetime2, time, datetime: a date only is at midnight; a time of
  // day has no date (year 0) except for datetime, where it is on 1900-01-01.
  std::uint16_t year = 0;
  std::uint8_t month = 0;
  std::uint8_t day = 0;
  std::uint8_t hour = 0;
  std::uint8_t minute = 0;
  std::uint8_t second = 0;
  std::uint32_t fraction = 0;  // in units of 100 nanoseconds

  static bool from_text(std::wstring_view text, const column_verdict& verdict, typed_value& out);
  // A workbook cell of the kind the classifier saw in add_cell.
  static bool from_cell(const VARIANT& cell, const column_verdict& verdict, typed_value& out);
};
