// ole_date: the date/time parser and printer behind ole_variant.
//
// Reads a date, a date and time or a time from text in a fixed order of
// formats (timestamps, pure time, the system date parser, then day-first and
// year-first numeric patterns), classifies it (date_kind) and prints it in the
// one canonical form the system uses: "yyyy-mm-dd hh:mm:ss", "yyyy-mm-dd" for
// a date only, "0000-00-00 hh:mm:ss" for a time only. A plain value;
// thread-safe as far as any value is.
#pragma once

#include <cstdint>
#include <string>

#include "ole_types.hpp"

class ole_variant;

class ole_date {
 public:
  enum : std::int32_t { kind_none = 0, kind_date_time = 1, kind_date = 2, kind_time = 3 };

  explicit ole_date(const VARIANT& value);  // VT_DATE, VT_EMPTY or VT_NULL
  explicit ole_date(const SYSTEMTIME& value);
  explicit ole_date(const std::string& text);
  explicit ole_date(const std::wstring& text);

  bool is_valid() const;
  void refine_type();
  void import_from_string(const std::string& text);
  void process_milliseconds(const char* seconds_text);

  ole_variant to_variant() const;
  std::string to_string() const;
  std::wstring to_wstring() const;

  bool b_omit_midnight = true;
  std::int32_t date_kind = kind_none;
  SYSTEMTIME systemtime;
};
