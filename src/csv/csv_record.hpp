// csv_record: one line of a CSV file, cut into fields.
//
// Splitting rules: a doubled double quote, anywhere in the line, is one
// literal double quote; any other double quote only switches quoting on or
// off and adds nothing; the delimiter outside quotes ends a field. So quotes
// may stand anywhere in a field, an unbalanced quote runs to the end of the
// line, and blanks around values are kept. Cut against a schema with columns,
// a line never gives more fields than the schema has columns (the rest of the
// line is ignored) and may give fewer; cut against an empty schema it keeps
// every field (that is how the header line is read).
//
// Each field is a plain udb_field: a VT_BSTR value holding the cell text, size
// the text's length in characters, the column's name (F1, F2, ... when the
// schema has no columns).
//
// Ownership: owns its fields; `schema` is the schema it was cut against and
// must outlive the record. Not thread-safe.
#pragma once

#include <string>
#include <string_view>

#include "udb_record.hpp"

class udb_schema;

class csv_record : public udb_record {
 public:
  csv_record(const udb_schema& schema, const std::wstring& line, char delimiter);

  const udb_schema* schema;

 private:
  void do_create(const std::wstring& line, char delimiter);
  void add_text(std::wstring text);
};
