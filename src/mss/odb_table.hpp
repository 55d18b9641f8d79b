// odb_table: one table (or a query) of a SQL Server database.
//
// Opened read-only (mode bit 0) it reads the table's rows as a recordset;
// opened for writing it reads no rows, only the record count. A bracketed
// owner-qualified name whose table does not exist is retried once under the
// owner dbo. Keeps the connection share and the owning database's
// relationship list, into which the foreign keys of an existing table go.
// One thread.
#pragma once

#include <memory>
#include <string>

#include "odb_connection.hpp"
#include "odb_recordset.hpp"
#include "udb_relationships.hpp"

class odb_table : public odb_recordset {
 public:
  odb_table(const std::wstring& name, std::shared_ptr<odb_connection> connection, int mode,
            udb_relationships* relationships);
  // A query opened as a table.
  odb_table(const std::wstring& name, const std::wstring& query,
            std::shared_ptr<odb_connection> connection, int mode, udb_relationships* relationships);
  ~odb_table() override;

  long get_records_cnt();
  long records_at_open() const { return records_at_open_; }
  // Reads the primary key, the indexes and the foreign keys of the table.
  void init_indexes(const std::wstring& table, const std::wstring& owner);

  bool is_query() const { return b_query_; }
  odb_connection& connection() const { return *connection_; }

 protected:
  std::shared_ptr<odb_connection> connection_;
  udb_relationships* relationships_ = nullptr;
  bool b_query_ = false;
  long records_at_open_ = 0;

 private:
  void internal_initialize(int mode);
};
