// The in-memory table engine: databases, typed tables, keys, indexes and foreign keys.
//
// One `engine` is shared by every connection; callers hold `engine::mutex()` for the whole of a
// statement (or a bulk batch), which makes each statement atomic. Rows are stored encoded, one
// compact string per row, so a million-row table stays small.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

#include "sql_parser.hpp"
#include "tds_value.hpp"

namespace tds {

// SQL Server's limit on the columns of a table (sparse columns aside, which this server lacks).
inline constexpr size_t k_max_columns = 1024;

struct column {
  std::string name;
  sql_type type;
  bool nullable = true;
  bool identity = false;
  int64_t seed = 1, increment = 1;
  bool has_default = false;
  value default_value;
  std::string default_text;
};

struct key_constraint {
  std::string name;
  enum class kind { primary, unique, index } k = kind::index;
  bool clustered = false;
  bool from_index = false;  // CREATE UNIQUE INDEX: duplicates report 2601 instead of 2627
  std::vector<size_t> columns;
  std::unordered_set<std::string> keys;  // encoded key of every row (unique kinds only)
};

struct foreign_key {
  std::string name;
  std::vector<size_t> columns;
  std::string ref_table;  // folded name in the same database
  std::vector<size_t> ref_columns;
  std::string actions;
};

struct table {
  std::string name;
  std::string schema = "dbo";
  int32_t object_id = 0;
  std::vector<column> columns;
  std::vector<std::string> rows;
  std::vector<key_constraint> keys;
  std::vector<foreign_key> foreign_keys;
  int64_t identity_next = 1;
  bool identity_used = false;

  int find_column(std::string_view name) const;  // -1 when absent
};

struct database {
  std::string name;
  int32_t id = 0;
  std::map<std::string, std::unique_ptr<table>> tables;  // by folded name
  table* find(std::string_view name);
};

class engine final {
 public:
  engine();
  std::mutex& mutex() { return mutex_; }

  database* find_db(std::string_view name);
  void create_db(const std::string& name);
  void drop_db(const std::string& name);
  std::vector<database*> databases();

  // Both throw sql_error with SQL Server's numbers (2714, 1913, 208, 1776...).
  table& create_table(database& db, const sql::statement& s);
  void drop_table(database& db, const std::string& name);
  void create_index(database& db, table& t, const sql::key_def& k);
  void add_constraint(database& db, table& t, const sql::key_def& k);
  void alter_column(database& db, table& t, const sql::column_def& c);

  // Inserts rows whose values are already in column order (one entry per column, identity included)
  // and converted to the columns' types; `identity_given` says whether identity values are
  // explicit. All rows go in, or none: the first failure throws and leaves the table as it was.
  void insert_rows(database& db, table& t, std::vector<std::vector<value>>& rows,
                   bool identity_given);

  // The same in steps, for bulk loads that arrive row by row: add_row checks one row against the
  // table (and the rows of the batch before it) and keeps it encoded; commit makes the batch part
  // of the table, rollback forgets it. A row that fails leaves the batch as it was.
  struct batch {
    std::vector<std::string> rows;
    std::string qualified_name;
    size_t key_count = 0;
    int64_t next_identity = 0;
    bool started = false;
  };
  // Bulk loads skip foreign keys unless the client asked for CHECK_CONSTRAINTS, as SQL Server does.
  void add_row(database& db, table& t, batch& b, std::vector<value>& row, bool identity_given,
               bool check_foreign_keys = true);
  void commit(table& t, batch& b);
  void rollback(table& t, batch& b);

  static std::string encode_row(const table& t, const std::vector<value>& values);
  static std::vector<value> decode_row(const table& t, std::string_view row);
  int32_t next_object_id() { return ++object_ids_; }

 private:
  std::string qualified(const database& db, const table& t) const {
    return db.name + "." + t.schema + "." + t.name;
  }
  void add_key(database& db, table& t, key_constraint k);

  std::mutex mutex_;
  std::map<std::string, std::unique_ptr<database>> dbs_;
  int32_t next_db_id_ = 5;
  int32_t object_ids_ = 1000;
};

std::string encode_key(const std::vector<value>& values, const std::vector<size_t>& columns);

}  // namespace tds
