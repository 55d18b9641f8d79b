// dao_recordset: one worksheet or named area, read row by row.
//
// Construction runs the typing pass over the whole sheet (streaming, so only
// per-column counts are kept), fills the schema from its result and opens
// the second pass positioned on the first record. Records are made one at a
// time by create_record and belong to the recordset until the next one.
// Forward reading is what conversions do; move_first starts the pass again
// and move_prev does the same and reads up to the row before (slow on long
// sheets, and never used by a conversion).
//
// Refers to the workbook of its dao_database, which must outlive it.
// Read-only: append_record raises. Not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "udb_recordset.hpp"
#include "wb_table.hpp"

class dao_record;
class wb_workbook;

class dao_recordset : public udb_recordset {
 public:
  dao_recordset(const std::wstring& name, const std::wstring& sql, const wb_workbook& book,
                std::size_t sheet, std::optional<wb_area> area, bool b_header);
  ~dao_recordset() override;

  void append_record(udb_record& record) override;
  udb_record* create_record() override;
  bool is_eof() override;
  void move_next() override;
  virtual void move_prev();
  virtual void move_first();

  std::int32_t get_record_count() const { return record_count_; }
  // Error cells (#N/A, ...) among the records, each read as NULL.
  std::uint64_t error_cells() const { return table_.error_cells(); }
  // The DAO data type of each column (for dao_field::get_vartype).
  const std::vector<int>& dao_types() const { return dao_types_; }

 private:
  void init_schema();
  void init_indexes();
  void restart();
  void read_row();

  wb_table table_;
  std::unique_ptr<wb_row_cursor> cursor_;
  std::vector<wb_value> values_;
  std::vector<int> dao_types_;
  std::vector<std::int32_t> sizes_;
  std::unique_ptr<dao_record> current_;
  std::int32_t record_count_ = 0;
  std::int64_t position_ = 0;  // index of the current row
  bool b_eof_ = true;
};
