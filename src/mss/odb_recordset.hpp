// odb_recordset: the rows of one query result, read as a source recordset.
//
// The result is read whole when the recordset is built (DB-Library cannot run
// another statement on the connection while rows are pending) and handed out
// row by row: is_eof / create_record / move_next. The schema is built from
// the result's columns (value type, size, nullability; precision x 256 +
// scale in `extra` for decimals). Owns its rows and its schema. One thread.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "odb_connection.hpp"
#include "odb_record.hpp"
#include "udb_recordset.hpp"

class odb_recordset : public udb_recordset {
 public:
  odb_recordset(const std::wstring& name, odb_result result);
  ~odb_recordset() override;

  void append_record(udb_record& record) override;  // read-only: assertion
  udb_record* create_record() override;
  bool is_eof() override;
  void move_next() override;

  // The current row; asking past the end is an internal assertion.
  odb_record& get_item();
  std::size_t row_count() const { return result_.rows.size(); }
  const odb_result& result() const { return result_; }

 protected:
  // Builds the schema from the result's columns.
  void initialize();
  explicit odb_recordset(const std::wstring& name);
  void set_result(odb_result result);

 private:
  odb_result result_;
  std::size_t position_ = 0;
  std::unique_ptr<odb_record> current_;
};
