// odb_database: a SQL Server database reached through one connection.
//
// Adds to udb_database the connection (shared with the tables it opens), SQL
// execution, dropping tables and creating a table from a schema: the table
// is created with generated CREATE TABLE text, its indexes with CREATE INDEX
// and PRIMARY KEY constraints; every name is bracketed with "]" doubled.
// Owns a share of the connection. One thread.
#pragma once

#include <memory>
#include <string>

#include "odb_connection.hpp"
#include "odb_recordset.hpp"
#include "t_ftd.hpp"
#include "udb_database.hpp"

class odb_database : public udb_database {
 public:
  odb_database(const std::wstring& name, std::shared_ptr<odb_connection> connection, int mode);
  ~odb_database() override;

  // Runs one statement; returns the rows it affected.
  long execute(const std::string& sql);
  // Runs a query; the recordset belongs to the caller.
  std::unique_ptr<odb_recordset> query(const std::string& sql);

  // Drops the table (name as given: plain or bracketed owner-qualified) and
  // forgets it.
  bool delete_tab(const std::wstring& name) override;

  // Builds the CREATE TABLE statement for a schema (exposed for tests).
  static std::string create_table_sql(const std::wstring& safe_name, const udb_schema& schema,
                                      const udb_indexes& indexes);
  // The DEFAULT clause text for a field ("" for none).
  static std::string set_def_value(const t_ftd& field);

  odb_connection& connection() const { return *connection_; }
  const std::shared_ptr<odb_connection>& shared_connection() const { return connection_; }

 protected:
  // Creates the table and its indexes; `safe_name` is owner-qualified and
  // bracketed.
  void create_table_in_server(const std::wstring& safe_name, const udb_schema& schema,
                              const udb_indexes& indexes);

 private:
  std::shared_ptr<odb_connection> connection_;
};
