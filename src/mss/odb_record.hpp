// odb_field, odb_record: one row read back from SQL Server.
//
// odb_field is a udb_field whose value has the type of its column (text as
// VT_BSTR, numbers, dates, decimals, byte arrays); NULL is VT_EMPTY.
// odb_record owns its fields in column order. Value types; one thread.
#pragma once

#include <string>

#include "ole_types.hpp"
#include "udb_field.hpp"
#include "udb_record.hpp"

class odb_field : public udb_field {
 public:
  using udb_field::udb_field;
  std::wstring to_wstring() const override;
};

class odb_record : public udb_record {
 public:
  // The field of that name (ignoring case); empty when there is none.
  const udb_field& get_field(const std::wstring& name) const { return udb_record::get_field(name); }
  // Value type for a DB-Library server type (SYB*).
  static VARTYPE get_vartype(int server_type);
  // Column type text for a value type when a table is created; 8-byte
  // integers only from version level 3 on, real otherwise.
  static std::string get_server_type(VARTYPE vt, int version_level);
};
