// udb_field: one cell of a row, a value with its column's name and size.
//
// The value is the inherited ole_variant. size is the cell's size: the length
// in characters of a text value, or, for reader-specific fields, the source
// column's declared size. The flags repeat the source column's constraints so
// that a destination can check a value without looking at the schema.
//
// Readers derive their own fields (the workbook reader renders values its own
// way through to_string/to_wstring). A field is owned by the udb_record that
// holds it. Value type; not thread-safe.
#pragma once

#include <cstdint>
#include <string>

#include "ole_variant.hpp"

class udb_field : public ole_variant {
 public:
  udb_field();
  // Takes its own copy of value (a temporary is moved in, so readers that
  // build a value per cell do not copy its text twice).
  udb_field(std::wstring name, std::int32_t size, ole_variant value, bool b_not_null,
            bool b_auto_increment);
  udb_field(const udb_field&) = default;
  udb_field& operator=(const udb_field&) = default;
  ~udb_field() override = default;

  virtual VARTYPE get_type() const;

  std::int32_t size = 0;
  std::wstring name;
  bool b_not_null = false;
  bool b_auto_increment = false;
};
