// Helpers shared by the query evaluator (catalog.cpp) and the system views (catalog_views.cpp).
// Internal to the catalog; stateless.
#pragma once

#include <string>
#include <string_view>

#include "catalog.hpp"

namespace tds::catalog_detail {

inline const sql_type k_sysname{type_id::nvarchar, 128};
inline const sql_type k_int{type_id::int_};
inline const sql_type k_smallint{type_id::smallint};

inline wire_column col(std::string name, sql_type t, bool nullable = true) {
  wire_column c;
  c.name = std::move(name);
  c.type = t;
  c.nullable = nullable;
  return c;
}

inline value text(const std::string& s) { return value::string(s, true); }
inline value integer(int64_t v) { return value::integer(v); }
inline value maybe_int(bool present, int64_t v) {
  return present ? value::integer(v) : value::null();
}

// SQL Server's LIKE with %, _ and [...] / [^...] classes, case-insensitive (ASCII) as the default
// collation is.
bool like(std::string_view text, std::string_view pattern);

}  // namespace tds::catalog_detail
