// udb_column_desc: how a destination column is to be created.
//
// The destination builds one per schema column when it creates a table (name,
// provider type, size, precision and scale for numeric columns, nullability,
// identity, default); a custom conversion rule may fill it in instead of the
// destination's own type mapping. Plain value type.
#pragma once

#include <cstdint>
#include <string>

#include "ole_variant.hpp"

struct udb_column_desc {
  std::wstring name;
  std::uint16_t provider_type = 0;  // DBTYPE_ number
  std::uint32_t size = 0;
  std::uint8_t precision = 0;
  std::uint8_t scale = 0;
  bool b_nullable = true;
  bool b_auto_increment = false;
  ole_variant def_value;
};
