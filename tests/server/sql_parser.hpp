// Tokenizer and parser for the T-SQL subset the server understands.
//
// A batch is parsed whole before anything runs, so a syntax error anywhere rejects the batch with
// error 102, as SQL Server does at compile time. The AST owns its nodes; no shared state.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tds_value.hpp"

namespace tds::sql {

enum class tok_kind { end, ident, quoted_ident, number, string, nstring, binary, variable, op };

struct tok {
  tok_kind kind = tok_kind::end;
  bool double_quoted = false;  // "name": an identifier or, with QUOTED_IDENTIFIER OFF, a string
  std::string text;            // identifier without brackets, literal text without quotes, operator
  size_t begin = 0, end = 0;
};

// Names are sysname, nvarchar(128): a longer identifier, bracketed or not, is refused with 103 at
// compile time, so the whole batch fails.
inline constexpr size_t k_max_identifier = 128;
void check_identifier_length(std::string_view name);

std::vector<tok> tokenize(std::string_view sql);  // throws sql_error 102/103/105 on bad lexemes

struct expr;
using expr_ptr = std::unique_ptr<expr>;
struct select_stmt;

struct expr {
  enum class kind {
    literal,
    column,
    star,
    function,
    unary_minus,
    compare,
    logical_and,
    logical_or,
    logical_not,
    is_null,
    like,
    in_list,
    variable,
    subquery_exists
  };
  kind k = kind::literal;
  value literal;
  std::string name;       // column name, function name (lower case), variable, comparison operator
  std::string qualifier;  // table alias of a column reference
  std::vector<expr_ptr> args;
  bool negated = false;  // IS NOT NULL, NOT LIKE, NOT IN
  std::unique_ptr<select_stmt> subquery;
  sql_type target;          // CAST / CONVERT
  std::string source_text;  // how the expression was written, for unnamed result columns
};

struct object_name {
  std::string database, schema, name;  // empty when not written
  std::string text() const;
};

struct select_item {
  expr_ptr e;
  std::string alias;
};

struct order_item {
  expr_ptr e;
  bool descending = false;
};

// One table of a FROM clause: a named table or view, or a subquery; joined to the ones before it.
struct from_item {
  std::optional<object_name> table;
  std::unique_ptr<select_stmt> subquery;
  std::string alias;
  bool left_join = false;
  expr_ptr on;  // null for the first item and for a comma join
};

struct select_stmt {
  std::optional<int64_t> top;
  std::vector<select_item> items;
  std::vector<from_item> from;
  expr_ptr where;
  std::vector<order_item> order_by;
};

struct column_def {
  std::string name;
  sql_type type;
  std::optional<bool> nullable;  // not written → nullable unless part of a primary key
  bool identity = false;
  int64_t seed = 1, increment = 1;
  expr_ptr default_value;
  std::string default_text;     // as sp_columns shows it: ((0)), ('abc')
  std::string constraint_name;  // of an inline PRIMARY KEY / UNIQUE
  bool primary_key = false, unique = false;
  bool clustered = false;
};

struct key_def {  // PRIMARY KEY, UNIQUE, FOREIGN KEY, or an index
  std::string name;
  enum class kind { primary, unique, foreign, index } k = kind::primary;
  bool clustered = false;
  std::vector<std::string> columns;
  object_name ref_table;
  std::vector<std::string> ref_columns;
  std::string actions;  // ON DELETE ... / ON UPDATE ..., as written
};

struct statement {
  enum class kind {
    use_db,
    create_db,
    drop_db,
    create_table,
    drop_table,
    create_index,
    alter_column,
    add_constraint,
    set_option,
    set_identity_insert,
    insert,
    select,
    exec_sp_columns,
    insert_bulk,
    if_stmt,
    create_schema,
    create_user,
    alter_user,
    noop
  };
  kind k = kind::noop;
  std::string text;                 // the statement as written, for the log
  object_name object;               // database (name), table, or index target table
  std::string name;                 // database, index, schema or user name; SET option name
  bool flag = false;                // SET ... ON, DROP ... IF EXISTS
  std::vector<column_def> columns;  // CREATE TABLE, ALTER COLUMN (one), insert bulk
  std::vector<key_def> keys;        // table constraints, the index, the added constraint
  std::vector<std::string> insert_columns;
  std::vector<std::vector<expr_ptr>> rows;
  std::unique_ptr<select_stmt> select;
  std::string sp_table, sp_owner;  // sp_columns arguments
  std::string login;               // CREATE USER ... FOR LOGIN; CREATE SCHEMA ... AUTHORIZATION
  std::optional<std::string> default_schema;  // CREATE USER / ALTER USER ... DEFAULT_SCHEMA
  expr_ptr condition;                         // IF
  std::vector<std::unique_ptr<statement>> then_branch, else_branch;
};

// `quoted_identifier` is the session's QUOTED_IDENTIFIER setting; SET QUOTED_IDENTIFIER statements
// in the batch change it as they are parsed, as SQL Server applies that option at parse time.
std::vector<std::unique_ptr<statement>> parse_batch(std::string_view sql, bool& quoted_identifier);

}  // namespace tds::sql
