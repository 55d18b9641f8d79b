// Query evaluation over the engine: SELECT with WHERE/ORDER BY/TOP/COUNT, the built-in functions
// the clients call (@@VERSION, SERVERPROPERTY, DB_ID, OBJECT_ID...), the INFORMATION_SCHEMA and sys
// views, and sp_columns.
//
// A catalog is a short-lived view for one statement; the caller holds the engine's mutex
// throughout.
#pragma once

#include <string>
#include <vector>

#include "engine.hpp"
#include "sql_parser.hpp"
#include "tds_wire.hpp"

namespace tds {

struct relation {
  std::vector<wire_column> columns;
  std::vector<std::string> qualifiers;  // per column: the alias or name of the table it comes from
  std::vector<std::vector<value>> rows;
};

class catalog final {
 public:
  // `login` is the session's login; names resolve in its default schema.
  catalog(engine& e, const std::string& db, const std::string& version, const std::string& login)
      : engine_(e), db_(db), version_(version), user_(login) {}

  relation select(const sql::select_stmt& q, bool metadata_only = false);
  relation sp_columns(const std::string& table, const std::string& owner);
  value eval_constant(const sql::expr& e);
  bool truth(const sql::expr& e);

 private:
  relation source(const sql::select_stmt& q, bool metadata_only);
  relation from_one(const sql::from_item& item, const sql::select_stmt& q, bool metadata_only);
  relation view(const sql::object_name& name);
  value eval(const sql::expr& e, const relation* r, const std::vector<value>* row);
  bool test(const sql::expr& e, const relation* r, const std::vector<value>* row);
  int resolve(const relation& r, const sql::expr& e) const;
  database* db_named(const std::string& name);
  std::string default_schema(const database& d) const;

  engine& engine_;
  std::string db_;
  std::string version_;
  std::string user_;  // the login
};

}  // namespace tds
