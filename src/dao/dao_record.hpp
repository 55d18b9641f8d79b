// dao_record: the current row of a dao_recordset, one dao_field per column.
//
// Made once per recordset with one field per column of its schema (names
// come from the schema), then filled in place from each row's values, so
// that a row costs no allocation once the fields have held their longest
// texts. Owns its fields (through the udb_record base); the schema must
// outlive it. Owned by the recordset that made it. Not thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "udb_record.hpp"
#include "wb_table.hpp"

class dao_record : public udb_record {
 public:
  // Every field NULL until fill().
  dao_record(const udb_schema& schema, const std::vector<int>& dao_types,
             const std::vector<std::int32_t>& sizes);

  // `values`: one per column, in the column's type.
  void fill(const std::vector<wb_value>& values);
};
