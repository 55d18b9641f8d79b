// dao_record: the current row of a dao_recordset, one dao_field per column.
//
// Built from the row's values in column order; owns its fields (through the
// udb_record base). Owned by the recordset that made it. Not thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "udb_record.hpp"
#include "wb_table.hpp"

class dao_record : public udb_record {
 public:
  dao_record(const std::vector<wb_value>& values, const std::vector<wb_column>& columns,
             const std::vector<int>& dao_types, const std::vector<std::int32_t>& sizes);
};
