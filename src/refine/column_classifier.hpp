// column_classifier: decides the narrowest SQL Server type that every value
// of one column converts to and back without loss.
//
// Fed every value of the column, in row order: texts as read from a CSV file
// (add_text), or typed cells as a workbook delivers them (add_cell); a column
// is fed one way or the other. Empty values never decide anything (a typed
// column stores them as NULL); a column with no other value stays text of the
// default width. Then verdict() gives the type and the reason.
//
// Texts: whole numbers -> int, bigint, else decimal(38,0); numbers with a
// fraction -> decimal(p,s) from the widest value while p <= 38, else float;
// exponent form -> float; true/false in any case -> bit; dates -> date, with
// times -> datetime2(n), times of day -> time(n) (datetime before SQL Server
// 2008); anything else, or a mix of kinds -> nvarchar(n) with n the longest
// value in UTF-16 units rounded up to a multiple of 10 (nvarchar(max) past
// 4000). A value whose text a conversion would change keeps the column text:
// leading zeros, '+', blanks, commas, more than 38 significant digits, more
// digits than float keeps where float is the only number type left, a
// fraction of a second past seven digits. Numeric dates (25/12/2021) count
// only when every one reads in one order of day and month and some value
// rules the other order out, or when the options name the order.
//
// Cells: whole numbers -> int or bigint, other numbers float; dates all at
// midnight -> date, other dates datetime; booleans bit; currency money; text
// cells are measured, not read; cells of several kinds keep the declared type.
//
// Cost per value: no allocation, one pass over its characters, and only the
// reading its column can still take (a number column reads no dates; a text
// column only measures). The value that decided a column's fate is copied
// once, for the reason.
//
// Ownership: owns its statistics. Thread-safety: none; one reading thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "column_verdict.hpp"
#include "ole_types.hpp"

struct number_text;
struct date_text;

struct classify_options {
  // The order of day, month and year for numeric dates the values leave open.
  date_order order = date_order::none;
  // SQL Server 2008 or later: date, datetime2 and time exist.
  bool b_server_2008 = true;
};

class column_classifier {
 public:
  explicit column_classifier(std::wstring name = std::wstring());

  void add_text(std::wstring_view text);
  void add_cell(const VARIANT& cell);

  // The type every value fed so far fits, and why; traced at level 3.
  column_verdict verdict(const classify_options& options) const;

  const std::wstring& name() const { return name_; }
  std::int64_t value_count() const { return values_; }

 private:
  // What the non-empty values so far have in common.
  enum class family : std::uint8_t {
    none,
    number,
    boolean,
    date,
    time,
    text,
    cell_number,
    cell_date,
    cell_money,
    declared,
  };

  void first_text(std::wstring_view text);
  void add_number(std::wstring_view text);
  void add_date(std::wstring_view text);
  void add_boolean(std::wstring_view text);
  void add_cell_kind(family kind);
  bool take_number(const number_text& number, std::wstring_view text);
  bool take_date(const date_text& date, std::wstring_view text);
  void become_text(std::wstring_view text, verdict_reason reason);
  void measure(std::wstring_view text);
  void keep_example(std::wstring& slot, std::int64_t& row, std::wstring_view text);

  column_verdict number_verdict() const;
  column_verdict date_verdict(const classify_options& options) const;
  column_verdict text_verdict(verdict_reason reason, const std::wstring& example,
                              std::int64_t row) const;

  std::wstring name_;
  family family_ = family::none;
  std::int64_t values_ = 0;
  std::int64_t empties_ = 0;
  std::int64_t longest_ = 0;  // UTF-16 units

  // Why the column is text, or the first value that made a typed column
  // impossible.
  verdict_reason text_reason_ = verdict_reason::all_empty;
  std::wstring text_example_;
  std::int64_t text_row_ = 0;

  // Numbers.
  bool b_all_int32_ = true;
  bool b_all_int64_ = true;
  bool b_fraction_ = false;
  bool b_exponent_ = false;
  bool b_all_double_ = true;  // every value exact in float
  std::int32_t int_digits_ = 0;
  std::int32_t scale_ = 0;
  std::wstring inexact_example_;  // the first value not exact in float
  std::int64_t inexact_row_ = 0;

  // Dates and times.
  bool b_date_time_ = false;  // a date with a time of day
  std::uint8_t fraction_digits_ = 0;
  std::uint8_t orders_ = 0x0E;  // orders every numeric date so far reads in
  bool b_numeric_date_ = false;
  std::wstring first_numeric_;  // the first numeric date
  std::int64_t first_numeric_row_ = 0;
  std::wstring ruled_out_[4];  // per date_order: the value that ruled it out
  std::int64_t ruled_out_row_[4] = {0, 0, 0, 0};
  std::int32_t earliest_year_ = 9999;
  std::wstring early_example_;  // the first date before 1753
  std::int64_t early_row_ = 0;
  std::wstring datetime_fraction_example_;  // the first fraction datetime would round
  std::int64_t datetime_fraction_row_ = 0;
};
