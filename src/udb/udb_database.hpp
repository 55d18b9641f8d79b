// udb_database: the source-independent base of a database.
//
// Keeps what every database shares: its name, the mode flags it was opened
// with, the list of the tables known to exist, the names map (source name ->
// destination name, read when foreign keys are written) and the relationships
// waiting to be created. Derived classes (the workbook source, the SQL Server
// destination) open and create the tables themselves.
//
// The table list starts with the tables found when the database is opened,
// gains each table created and loses each table dropped. Table names compare
// ignoring case unless the database was opened case-sensitive.
//
// Owns its lists; tables it hands out belong to the caller. Not thread-safe:
// one conversion thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "udb_index.hpp"
#include "udb_names_map.hpp"
#include "udb_recordset.hpp"
#include "udb_relationships.hpp"
#include "udb_schema.hpp"

class udb_database {
 public:
  udb_database(const std::wstring& name, int mode, bool b_case_sensitive);
  virtual ~udb_database();

  udb_database(const udb_database&) = delete;
  udb_database& operator=(const udb_database&) = delete;

  // The new table, opened for writing.
  virtual std::unique_ptr<udb_recordset> create_table(const std::wstring& name,
                                                      const udb_schema& schema,
                                                      const udb_indexes& indexes) = 0;
  // Forgets a listed table; derived classes drop it first. A name that is not
  // listed is a programming error.
  virtual bool delete_tab(const std::wstring& name);
  virtual std::unique_ptr<udb_recordset> get_table(const std::wstring& name, int mode) = 0;
  virtual std::unique_ptr<udb_recordset> get_table(const std::wstring& name,
                                                   const std::wstring& query, int mode) = 0;
  virtual bool is_table_exist(const std::wstring& name) const;

  // Lists a table that was found or created.
  void add_table_name(const std::wstring& name);

  const std::wstring& get_name() const { return name_; }
  int get_mode() const { return mode_; }
  bool is_case_sensitive() const { return b_case_sensitive_; }
  const std::vector<std::wstring>& get_tables() const { return tables_; }
  udb_names_map& get_names_map() { return names_map_; }
  const udb_names_map& get_names_map() const { return names_map_; }
  udb_relationships& get_relationships() { return relationships_; }
  const udb_relationships& get_relationships() const { return relationships_; }

 private:
  bool same_name(const std::wstring& a, const std::wstring& b) const;

  const int mode_;
  const std::wstring name_;
  const bool b_case_sensitive_;
  std::vector<std::wstring> tables_;
  udb_names_map names_map_;
  udb_relationships relationships_;
};
