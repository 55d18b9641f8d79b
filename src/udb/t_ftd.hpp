// t_ftd: one column definition of a table.
//
// What a destination needs to create the column: its name, value type (a VT_
// number), declared size (characters for text), nullability, auto-numbering,
// default value (VT_EMPTY for none) and a type-specific extra: precision x 256
// + scale for VT_DECIMAL columns; the readers set 1 for date columns that
// carry a default (workbook reader) and for date and GUID columns (SQL Server
// reader); 0 otherwise. A VT_DATE column whose values are all times within
// one day (a workbook's durations) carries extra_time_only, so that the
// destination makes it a time column rather than a date and time.
//
// Owned by the udb_schema that holds it when that schema owns its fields.
// Value type; not thread-safe.
#pragma once

#include <cstdint>
#include <string>

#include "ole_variant.hpp"

class udb_field;

class t_ftd {
 public:
  // Name, size, flags and type come from the field.
  t_ftd(const udb_field& field, const ole_variant& def_value, std::int32_t extra);
  t_ftd(std::int32_t size, const std::wstring& name, VARTYPE vartype, bool b_not_null,
        bool b_auto_increment, const ole_variant& def_value, std::int32_t extra);

  std::int32_t size = 0;
  std::wstring name;
  VARTYPE vartype = VT_EMPTY;
  bool b_auto_increment = false;
  bool b_not_null = false;
  ole_variant def_value;
  std::int32_t extra = 0;
  // The SQL Server type a new column gets when the source's values decided
  // it ("int", "decimal(19,2)", "datetime2(3)", "nvarchar(20)"); empty: the
  // destination maps vartype as usual.
  std::string sql_type;

  static constexpr std::int32_t extra_time_only = 3;

 private:
  void trace_column() const;
};
