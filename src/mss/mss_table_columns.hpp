// mss_table_columns: what the server says about a table's columns.
//
// Reads sp_columns for one table and hands back, in the table's order, each
// column's name, server type, size, precision and scale, nullability,
// identity and the text of its default; default_value turns such a text
// ("((0))", "(N'it''s')") into a value of the column's type.
//
// Stateless; the connection must be free (no bulk copy open on it).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mss_value_encoder.hpp"
#include "ole_variant.hpp"

class odb_connection;

struct mss_table_column {
  mss_column_info info;  // without its default value
  VARTYPE vartype = VT_BSTR;
  std::int32_t size = 0;  // the schema's size: characters or bytes, 0 for long
  bool b_identity = false;
  std::wstring default_text;  // as the server keeps it; empty for none
};

class mss_table_columns final {
 public:
  // `owner` may be empty: then any owner's table of that name answers.
  static std::vector<mss_table_column> read(odb_connection& connection, const std::wstring& table,
                                            const std::wstring& owner);
  // The default written as `text` as a value of `type`; VT_EMPTY when the
  // text is no value of it.
  static ole_variant default_value(VARTYPE type, const std::wstring& text);
};
