// column_verdict: the SQL Server type chosen for a column, and why.
//
// Made by column_classifier::verdict(); read by whoever creates the table
// (sql_type) and converts the values (typed_value, with the same verdict, so
// that values convert the way they were judged). explain() is the line the
// trace log shows a user, above all when a column stayed text.
// A plain value.
#pragma once

#include <cstdint>
#include <string>

#include "date_text.hpp"

enum class column_type : std::uint8_t {
  text,  // nvarchar(length); nvarchar(max) beyond max_text_length
  bit,
  int32,     // int
  int64,     // bigint
  decimal,   // decimal(precision, scale)
  floating,  // float
  money,
  date,
  datetime2,    // datetime2(scale)
  time,         // time(scale)
  datetime,     // dates and times on servers before SQL Server 2008
  as_declared,  // typed cells of mixed kinds: the source's own type stands
};

enum class verdict_reason : std::uint8_t {
  fits,            // the type holds every value
  all_empty,       // no value at all: the default text column
  float_exponent,  // numbers in exponent form, each exact in float
  float_wide,      // decimal would need more than 38 digits; each value exact in float
  // Why a column stayed text; `example` is the value that decided.
  text_value,         // a value of no other kind
  mixed_kinds,        // a value of another kind than the values before it
  leading_zero,       // "007"
  plus_sign,          // "+5"
  blanks,             // " 5"
  comma,              // "1,000", "1,5"
  too_many_digits,    // more than 38 significant digits
  beyond_float,       // exponent forms need float, and this value is not exact in it
  beyond_decimal,     // decimal would need > 38 digits, and this value is not exact in float
  invalid_date,       // the form of a date or time, but no such day or time
  fraction_too_long,  // more than seven digits of a second
  no_date_order,      // no one order of day, month and year fits every value
  ambiguous_order,    // the values fit several orders and none was given
  before_1753,        // datetime (servers before 2008) starts in 1753
  datetime_fraction,  // datetime keeps 1/300 s: the fraction would change
  mixed_cells,        // typed cells of several kinds
};

struct column_verdict {
  static constexpr std::int32_t max_text_length = 4000;
  static constexpr std::int32_t empty_text_length = 50;

  column_type type = column_type::text;
  verdict_reason reason = verdict_reason::all_empty;
  // text: the longest value's length in UTF-16 units rounded up (at least 1);
  // past max_text_length the column is nvarchar(max).
  std::int32_t length = empty_text_length;
  std::int32_t precision = 0;  // decimal
  std::int32_t scale = 0;      // decimal; digits of a second for datetime2 and time
  // How numeric dates (a/b/c) are read; none when the column has none.
  date_order order = date_order::none;
  bool b_order_given = false;  // the order came from the options, not the values
  // The value behind the reason (text, a date order, a width), and its row:
  // its place among the values fed, from 1. Empty when no single value decided.
  std::wstring example;
  std::int64_t example_row = 0;
  std::int64_t values = 0;  // values fed, empty ones included
  std::int64_t empties = 0;

  bool is_text() const { return type == column_type::text; }
  bool is_long_text() const { return is_text() && length > max_text_length; }

  // The type as SQL Server spells it: "int", "decimal(19,2)", "datetime2(3)",
  // "nvarchar(20)", "nvarchar(max)"; as_declared gives "".
  std::string sql_type() const;
  // "<type>: <why>", in the system's own words, for the trace log.
  std::wstring explain() const;
};
