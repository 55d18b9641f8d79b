// dates_map: which date type every value of a column fits.
//
// Entry states: 1 date and time ("datetime"), 2 date only ("date"), 3 time
// only ("time"), 0 text ("char(19)", the length of the canonical
// "yyyy-mm-dd hh:mm:ss" form). The first non-empty value that parses as a date
// (ole_date) sets the state; a date-only column widens to date and time; times
// and dates never mix, and text is final. A later value that is no date leaves
// a date column as it is (a damaged cell should not turn a date column into
// text) but ends a time column.
//
// Ownership and thread-safety as types_map.
#pragma once

#include <string>

#include "types_map.hpp"

class udb_schema;

class dates_map : public types_map {
 public:
  enum : std::int32_t { state_text = 0, state_date_time = 1, state_date = 2, state_time = 3 };

  // One entry per column; with b_dates_only, only for the columns declared
  // VT_DATE.
  dates_map(const std::wstring& table_name, const udb_schema& schema, bool b_dates_only);

  void add_rec_stat(const udb_record& record) override;

  // One value's effect on an entry; an empty text changes nothing.
  static void add_value(map_entry& entry, const std::wstring& text);
  // The same with the value's date kind already known (0 when it is no date).
  static void add_kind(map_entry& entry, std::int32_t date_kind);

  static const char* state_name(std::int32_t state);
};
