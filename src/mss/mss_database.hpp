// mss_database: the destination database as the conversion driver sees it.
//
// Knows which tables the owner already has, creates a table from a source
// schema (columns, types, nullability, identity, defaults, primary key and
// indexes), opens a table for loading (mss_table) and drops tables. The owner
// is the schema the engine chooses when the database is opened
// (mss_engine::table_owner); every plain table name is qualified with it, so
// tables are found, created and dropped in that schema only. Mode
// flags: 1 read-only (creating a table is an internal assertion), 8 append
// (existing tables are loaded into, foreign keys are not created).
//
// Owns a share of its connection; tables it hands out belong to the caller
// and share the connection. One thread.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "odb_database.hpp"
#include "tk_exception.hpp"
#include "udb_relationships.hpp"

class mss_table;

class mss_database : public odb_database {
 public:
  static constexpr int mode_read_only = 1;
  static constexpr int mode_append = 8;

  mss_database(const std::wstring& name, std::shared_ptr<odb_connection> connection, int mode);
  ~mss_database() override;

  // The new (or, in append mode, existing) table opened for loading; an
  // mss_table.
  std::unique_ptr<udb_recordset> create_table(const std::wstring& name, const udb_schema& schema,
                                              const udb_indexes& indexes) override;
  std::unique_ptr<udb_recordset> get_table(const std::wstring& name, int mode) override;
  std::unique_ptr<udb_recordset> get_table(const std::wstring& name, const std::wstring& query,
                                           int mode) override;
  // The same, typed.
  std::unique_ptr<mss_table> create_mss_table(const std::wstring& name, const udb_schema& schema,
                                              const udb_indexes& indexes);
  std::unique_ptr<mss_table> get_mss_table(const std::wstring& name, int mode);
  // Drops the owner's table (a plain name is qualified with the owner).
  bool delete_tab(const std::wstring& name) override;

  // The schema this run's tables belong to.
  const std::wstring& owner() const { return owner_; }
  // "[owner].[name]" for a plain or bracketed name; an owner-qualified name
  // passes unchanged.
  std::wstring safe_name(const std::wstring& name) const;

  // Adds the foreign keys (never in append mode). A failure goes to
  // `on_error` with the context "Foreign key '<name>'" and the next key is
  // tried; without a sink the failure is thrown. Not used by the driver.
  using mss_fk_error_sink =
      std::function<void(const tk_exception& error, const std::wstring& context)>;
  void create_relationships(const udb_relationships& relationships,
                            const mss_fk_error_sink& on_error);
  static bool is_valid_fk_props(const std::wstring& text);
  // The ALTER TABLE ... FOREIGN KEY statement for one relationship.
  std::string fk_sql(const udb_relationship& relationship, int version_level) const;

 private:
  std::wstring owner_;
};
