// udb_recordset: one table, read as a source or written as a destination.
//
// Every source (CSV file, worksheet, SQL Server table) and every destination
// table is a recordset: it owns the table's schema and its index descriptions,
// and the driver talks to all of them through this interface.
//   source:      construct (the reader fills schema and indexes), then
//                is_eof / create_record / move_next until is_eof;
//   destination: construct, fill schema and indexes, create the table from
//                them, then append_record per row.
// convert_record is the one conversion every destination applies to an
// incoming row: each value changes, in place, to the type of the destination
// column at the same position. Fields are matched by position only; a row
// shorter than the schema converts the fields it has.
//
// The schema owns its definitions or not as the constructor says. Records
// returned by create_record belong to the recordset (valid until the next
// create_record or move_next). Not thread-safe: one conversion thread.
#pragma once

#include <string>

#include "udb_index.hpp"
#include "udb_record.hpp"
#include "udb_schema.hpp"

class udb_recordset {
 public:
  udb_recordset(const std::wstring& name, const std::wstring& source_text, bool b_owns_fields);
  udb_recordset(const std::wstring& name, bool b_owns_fields);
  virtual ~udb_recordset();

  udb_recordset(const udb_recordset&) = delete;
  udb_recordset& operator=(const udb_recordset&) = delete;

  // Writes one row; every recordset that can be a destination implements it.
  virtual void append_record(udb_record& record) = 0;
  virtual void update();
  // The current row, owned by the recordset; null when there is none.
  virtual udb_record* create_record();
  virtual bool is_eof();
  virtual bool has_source_text() const;
  virtual void move_next();

  // Raises ole_cast_exception when a value cannot take its column's type.
  void convert_record(udb_record& record) const;

  void clean_indexes();
  // An index whose name is already listed (ignoring case) is dropped.
  void add_index(const udb_index& index);

  const std::wstring& get_name() const { return name; }
  const std::wstring& get_source_text() const { return source_text; }
  udb_schema& get_schema() { return schema; }
  const udb_schema& get_schema() const { return schema; }
  const udb_indexes& get_indexes() const { return indexes; }
  // Position in get_indexes() of the first primary or unique index; -1 if none.
  int get_key_index() const { return indexes.key_index(); }

 protected:
  std::wstring source_text;
  std::wstring name;
  udb_schema schema;
  udb_indexes indexes;
};
