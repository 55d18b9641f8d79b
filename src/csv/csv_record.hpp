// csv_record: one CSV record as a row of the table.
//
// Cut against a schema with columns, the record has exactly one field per
// column: the record's fields in order, then NULL for each column the record
// did not reach (a short record). The caller deals with a record that has
// more fields than the schema has columns; only that many are taken here.
// Cut against an empty schema (the first line, read for the column names)
// it keeps every field, named F1, F2, ...
//
// Each field is a plain udb_field: a VT_BSTR value holding the text (VT_NULL
// for a missing one), size the text's length in characters, both flags
// clear. Names come from the schema. csv_file keeps one record per file and
// fills it again for each row: once its fields have held the longest texts,
// a row costs no allocation.
//
// Ownership: owns its fields; `schema` is the schema it was cut against and
// must outlive the record. Not thread-safe.
#pragma once

#include "csv_fields.hpp"
#include "udb_record.hpp"

class udb_schema;

class csv_record : public udb_record {
 public:
  // A row of NULLs, one per column; fill() gives it values.
  explicit csv_record(const udb_schema& schema);
  csv_record(const udb_schema& schema, const csv_fields& fields);

  // Puts the record's fields in place of the previous ones.
  void fill(const csv_fields& fields);

  const udb_schema* schema;
};
