// dao_database: an open workbook as a database of tables.
//
// Its table list names what can be read: each worksheet as "Name$", or
// "'Name$'" (single quotes doubled inside) when the name holds anything but
// letters, digits and "_"; each defined name that covers one plain area
// under its own name (workbook level) or as "Sheet$Name" (sheet level).
// Chart sheets and other sheet kinds are not tables. get_table reads one of
// them as a dao_recordset; get_query takes "SELECT * FROM [table]" on a
// listed table and refuses any other query. Workbooks are read-only here:
// creating or deleting tables raises.
// Owns the workbook; recordsets it hands out refer to it and must be
// destroyed first. Not thread-safe.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "udb_database.hpp"
#include "wb_types.hpp"

class wb_workbook;
class dao_recordset;

class dao_database : public udb_database {
 public:
  dao_database(const std::wstring& name, std::unique_ptr<wb_workbook> book, int flags,
               bool b_header);
  ~dao_database() override;

  std::unique_ptr<udb_recordset> create_table(const std::wstring& name, const udb_schema& schema,
                                              const udb_indexes& indexes) override;
  bool delete_tab(const std::wstring& name) override;
  // A table of the list (else an internal assertion), opened for reading.
  std::unique_ptr<udb_recordset> get_table(const std::wstring& name, int flags) override;
  std::unique_ptr<udb_recordset> get_table(const std::wstring& name, const std::wstring& query,
                                           int flags) override;
  // Raises dao_exception for anything but SELECT * FROM [a listed table].
  std::unique_ptr<dao_recordset> get_query(const std::wstring& name, const std::wstring& sql,
                                           int flags);
  bool test_query(const std::wstring& sql);

  // The DAO name of a worksheet.
  static std::wstring sheet_table_name(const std::wstring& sheet);
  // The table named in "SELECT * FROM [name]", or nothing.
  static std::optional<std::wstring> parse_select(const std::wstring& sql);

 private:
  struct table_source {
    std::wstring name;
    std::size_t sheet = 0;
    std::optional<wb_area> area;
  };
  const table_source* find_source(const std::wstring& name) const;
  std::unique_ptr<dao_recordset> open(const table_source& source, const std::wstring& sql);

  std::unique_ptr<wb_workbook> book_;
  std::vector<table_source> sources_;
  bool b_header_;
};
