// udb_record: one row, its fields in column order.
//
// A source recordset makes one record per table and fills it again in place
// for every row, so that reading costs no allocation per value; the driver
// converts it to the destination's column types in place and hands it to the
// destination table. Position i corresponds to column i of the schema the row
// was read against. A record may hold fewer fields than that schema has
// columns (a short CSV line), never more; the reader that builds it keeps to
// that.
//
// Column names: a record made against a schema takes them from it (its
// fields carry none); a record built field by field takes them from the
// fields. field_name() gives either.
//
// Owns its fields and deletes them through their virtual destructor, so
// reader-specific fields are destroyed whole. The schema, when given, must
// outlive the record. Readers derive their own record classes. Not
// thread-safe; not copyable.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "udb_field.hpp"

class udb_schema;

class udb_record {
 public:
  udb_record();
  // Names come from `names`, column by column.
  explicit udb_record(const udb_schema& names);
  virtual ~udb_record();

  udb_record(const udb_record&) = delete;
  udb_record& operator=(const udb_record&) = delete;

  udb_field& add_field(std::unique_ptr<udb_field> field);

  std::size_t field_count() const { return fields.size(); }
  bool empty() const { return fields.empty(); }
  udb_field& field_at(std::size_t position);
  const udb_field& field_at(std::size_t position) const;
  // The name of the column at `position`.
  const std::wstring& field_name(std::size_t position) const;

  // Lookups ignore case; the first field of that name in column order wins.
  bool find_field(const std::wstring& name) const;
  // A name that is not there yields an empty field (VT_EMPTY, no name).
  const udb_field& get_field(const std::wstring& name) const;

 protected:
  // Drops the fields from `count` on (a reusable row that got shorter).
  void truncate(std::size_t count);

 private:
  std::vector<std::unique_ptr<udb_field>> fields;
  const udb_schema* names_ = nullptr;
};
