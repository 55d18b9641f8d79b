// The in-memory table engine: databases with their schemas and users, typed tables, keys, indexes
// and foreign keys.
//
// One `engine` is shared by every connection; callers hold `engine::mutex()` for the whole of a
// statement (or a bulk batch), which makes each statement atomic. Rows are stored encoded, one
// compact string per row, so a million-row table stays small.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
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
  int32_t ref_object_id = 0;  // the referenced table, in the same database
  std::vector<size_t> ref_columns;
  std::string actions;
};

struct table {
  std::string name;
  std::string schema = "dbo";
  int32_t schema_id = 1;
  int32_t object_id = 0;
  std::vector<column> columns;
  std::vector<std::string> rows;
  std::vector<key_constraint> keys;
  std::vector<foreign_key> foreign_keys;
  int64_t identity_next = 1;
  bool identity_used = false;

  int find_column(std::string_view name) const;  // -1 when absent
};

// A schema of one database. Every database has dbo, guest, INFORMATION_SCHEMA and sys; others
// exist once CREATE SCHEMA has made them.
struct schema_info {
  std::string name;
  int32_t id = 0;
  int32_t principal_id = 1;
};

// A database user: the login it stands for and the schema its unqualified names go to.
struct db_user {
  std::string name;
  std::string login;
  std::string default_schema = "dbo";
  int32_t principal_id = 0;
};

// Who a login is inside one database.
struct principal {
  std::string user;
  std::string default_schema;
};

struct database {
  std::string name;
  int32_t id = 0;
  std::string owner;                           // folded name of the login that created it
  std::map<std::string, schema_info> schemas;  // by folded name
  std::map<std::string, db_user> users;        // by folded login name
  int32_t next_schema_id = 5;
  int32_t next_principal_id = 5;
  // By folded (schema, name): a name is unique within its schema only.
  std::map<std::pair<std::string, std::string>, std::unique_ptr<table>> tables;

  table* find(std::string_view schema, std::string_view name);
  table* find_id(int32_t object_id);
  const schema_info* find_schema(std::string_view name) const;
  const schema_info* find_schema(int32_t id) const;
};

class engine final {
 public:
  engine();
  std::mutex& mutex() { return mutex_; }

  database* find_db(std::string_view name);
  // The login that creates a database owns it: it is the user dbo there.
  void create_db(const std::string& name, const std::string& owner_login);
  // Only the owner and sa may drop a database (3701 for anyone else, as for a missing one).
  void drop_db(const std::string& name, const std::string& login);
  std::vector<database*> databases();

  // The user a login is in `db`: dbo for sa and for the database's owner, the login's user when
  // CREATE USER made one, guest in the system databases; none otherwise (no access, 916).
  static std::optional<principal> principal_of(const database& db, std::string_view login);
  // An object name as SQL Server resolves it: the schema written, else the default schema and then
  // dbo. Null when there is no such table.
  static table* resolve(database& db, const sql::object_name& name,
                        const std::string& default_schema);

  void create_schema(database& db, const std::string& name);
  // CREATE USER (15023 when the user or the login's user exists, 15007 for an unknown login) and
  // ALTER USER ... WITH DEFAULT_SCHEMA (15151 for an unknown user). `known_login` tells whether
  // the server has the login.
  void create_user(database& db, const std::string& user, const std::string& login,
                   const std::string& default_schema, bool known_login);
  void alter_user(database& db, const std::string& user, const std::string& default_schema);

  // Both throw sql_error with SQL Server's numbers (2714, 2760, 1702, 1913, 208, 1776...). The
  // table goes into `schema`, which must exist and be one a user may create in.
  // `default_schema` resolves unqualified names in the statement (a foreign key's table).
  table& create_table(database& db, const std::string& schema, const sql::statement& s,
                      const std::string& default_schema);
  void drop_table(database& db, table& t);
  void create_index(database& db, table& t, const sql::key_def& k);
  void add_constraint(database& db, table& t, const sql::key_def& k,
                      const std::string& default_schema);
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
  void add_system_schemas(database& db);
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
