// The system views, INFORMATION_SCHEMA and sp_columns, built from the engine's state on each query.
#include <algorithm>

#include "catalog.hpp"
#include "catalog_internal.hpp"
#include "tds_text.hpp"

namespace tds {
namespace {

using namespace catalog_detail;

// sp_columns' ODBC type code for a column type.
int odbc_type(const sql_type& t) {
  switch (t.id) {
    case type_id::bit:
      return -7;
    case type_id::tinyint:
      return -6;
    case type_id::smallint:
      return 5;
    case type_id::int_:
      return 4;
    case type_id::bigint:
      return -5;
    case type_id::real:
      return 7;
    case type_id::float_:
      return 6;
    case type_id::money:
    case type_id::smallmoney:
    case type_id::decimal:
      return 3;
    case type_id::numeric:
      return 2;
    case type_id::datetime:
    case type_id::smalldatetime:
      return 11;
    case type_id::date:
    case type_id::time:
    case type_id::datetime2:
      return -9;
    case type_id::char_:
      return 1;
    case type_id::varchar:
      return t.length == k_max_length ? -1 : 12;
    case type_id::nchar:
      return -8;
    case type_id::nvarchar:
      return t.length == k_max_length ? -10 : -9;
    case type_id::text:
      return -1;
    case type_id::ntext:
      return -10;
    case type_id::binary:
      return -2;
    case type_id::varbinary:
      return t.length == k_max_length ? -4 : -3;
    case type_id::image:
      return -4;
    case type_id::uniqueidentifier:
      return -11;
  }
  return 0;
}

// sp_columns' PRECISION and LENGTH columns.
std::pair<int64_t, int64_t> precision_length(const sql_type& t) {
  switch (t.id) {
    case type_id::bit:
      return {1, 1};
    case type_id::tinyint:
      return {3, 1};
    case type_id::smallint:
      return {5, 2};
    case type_id::int_:
      return {10, 4};
    case type_id::bigint:
      return {19, 8};
    case type_id::real:
      return {7, 4};
    case type_id::float_:
      return {15, 8};
    case type_id::money:
      return {19, 21};
    case type_id::smallmoney:
      return {10, 12};
    case type_id::decimal:
    case type_id::numeric:
      return {t.precision, t.precision + 2};
    case type_id::datetime:
      return {23, 16};
    case type_id::smalldatetime:
      return {16, 16};
    case type_id::date:
      return {10, 20};
    case type_id::time:
      return {t.scale ? 9 + t.scale : 8, t.scale ? 18 + 2 * t.scale : 16};
    case type_id::datetime2:
      return {t.scale ? 20 + t.scale : 19, t.scale ? 40 + 2 * t.scale : 38};
    case type_id::char_:
    case type_id::varchar:
      return t.length == k_max_length ? std::pair<int64_t, int64_t>{2147483647, 2147483647}
                                      : std::pair<int64_t, int64_t>{t.length, t.length};
    case type_id::nchar:
    case type_id::nvarchar:
      return t.length == k_max_length ? std::pair<int64_t, int64_t>{1073741823, 2147483646}
                                      : std::pair<int64_t, int64_t>{t.length, 2 * t.length};
    case type_id::text:
    case type_id::image:
      return {2147483647, 2147483647};
    case type_id::ntext:
      return {1073741823, 2147483646};
    case type_id::binary:
    case type_id::varbinary:
      return t.length == k_max_length ? std::pair<int64_t, int64_t>{2147483647, 2147483647}
                                      : std::pair<int64_t, int64_t>{t.length, t.length};
    case type_id::uniqueidentifier:
      return {36, 16};
  }
  return {0, 0};
}

// sys.indexes numbering: the clustered index is 1, the others follow from 2 in creation order.
std::vector<int> index_ids(const table& t) {
  std::vector<int> ids;
  int next = 2;
  for (const auto& k : t.keys) ids.push_back(k.clustered ? 1 : next++);
  return ids;
}

}  // namespace

relation catalog::view(const sql::object_name& name) {
  relation r;
  std::string schema = fold_case(name.schema), n = fold_case(name.name);
  database* db = db_named(name.database);
  if (!db) throw sql_error(208, 16, 1, "Invalid object name '" + name.text() + "'.");
  std::vector<table*> tables;
  for (auto& [k, t] : db->tables) tables.push_back(t.get());
  std::sort(tables.begin(), tables.end(),
            [](table* a, table* b) { return a->object_id < b->object_id; });
  if (schema == "SYS" && n == "DATABASES") {
    r.columns = {col("name", k_sysname), col("database_id", k_int),
                 col("collation_name", k_sysname),
                 col("state_desc", sql_type{type_id::nvarchar, 60})};
    for (database* d : engine_.databases())
      r.rows.push_back(
          {text(d->name), integer(d->id), text("SQL_Latin1_General_CP1_CI_AS"), text("ONLINE")});
  } else if (schema == "SYS" && (n == "TABLES" || n == "OBJECTS")) {
    r.columns = {col("name", k_sysname), col("object_id", k_int), col("schema_id", k_int),
                 col("type", sql_type{type_id::char_, 2}),
                 col("type_desc", sql_type{type_id::nvarchar, 60})};
    for (table* t : tables)
      r.rows.push_back({text(t->name), integer(t->object_id), integer(t->schema_id),
                        value::string("U ", false), text("USER_TABLE")});
  } else if (schema == "SYS" && n == "SCHEMAS") {
    r.columns = {col("name", k_sysname), col("schema_id", k_int), col("principal_id", k_int)};
    std::vector<const schema_info*> schemas;
    for (const auto& [key, sc] : db->schemas) schemas.push_back(&sc);
    std::sort(schemas.begin(), schemas.end(),
              [](const schema_info* a, const schema_info* b) { return a->id < b->id; });
    for (const schema_info* sc : schemas)
      r.rows.push_back({text(sc->name), integer(sc->id), integer(sc->principal_id)});
  } else if (schema == "SYS" && n == "DATABASE_PRINCIPALS") {
    r.columns = {col("name", k_sysname), col("principal_id", k_int),
                 col("type", sql_type{type_id::char_, 1}),
                 col("type_desc", sql_type{type_id::nvarchar, 60}),
                 col("default_schema_name", k_sysname)};
    auto user = [&](const std::string& name, int64_t id, const std::string& default_schema) {
      r.rows.push_back({text(name), integer(id), value::string("S", false), text("SQL_USER"),
                        default_schema.empty() ? value::null() : text(default_schema)});
    };
    user("dbo", 1, "dbo");
    user("guest", 2, "guest");
    user("INFORMATION_SCHEMA", 3, "");
    user("sys", 4, "");
    std::vector<const db_user*> users;
    for (const auto& [key, u] : db->users) users.push_back(&u);
    std::sort(users.begin(), users.end(),
              [](const db_user* a, const db_user* b) { return a->principal_id < b->principal_id; });
    for (const db_user* u : users) user(u->name, u->principal_id, u->default_schema);
  } else if (schema == "SYS" && n == "COLUMNS") {
    r.columns = {col("object_id", k_int),
                 col("name", k_sysname),
                 col("column_id", k_int),
                 col("max_length", k_smallint),
                 col("precision", sql_type{type_id::tinyint}),
                 col("scale", sql_type{type_id::tinyint}),
                 col("is_nullable", sql_type{type_id::bit}),
                 col("is_identity", sql_type{type_id::bit})};
    for (table* t : tables)
      for (size_t i = 0; i < t->columns.size(); ++i) {
        const column& c = t->columns[i];
        int64_t max_len = c.type.length == k_max_length ? -1
                          : c.type.is_unicode()         ? 2 * c.type.length
                                                        : precision_length(c.type).second;
        r.rows.push_back({integer(t->object_id), text(c.name), integer(static_cast<int64_t>(i) + 1),
                          integer(max_len), integer(c.type.precision), integer(c.type.scale),
                          integer(c.nullable), integer(c.identity)});
      }
  } else if (schema == "SYS" && n == "INDEX_COLUMNS") {
    r.columns = {col("object_id", k_int),
                 col("index_id", k_int),
                 col("index_column_id", k_int),
                 col("column_id", k_int),
                 col("key_ordinal", sql_type{type_id::tinyint}),
                 col("is_descending_key", sql_type{type_id::bit})};
    for (table* t : tables) {
      std::vector<int> ids = index_ids(*t);
      for (size_t k = 0; k < t->keys.size(); ++k)
        for (size_t i = 0; i < t->keys[k].columns.size(); ++i)
          r.rows.push_back({integer(t->object_id), integer(ids[k]),
                            integer(static_cast<int64_t>(i) + 1),
                            integer(static_cast<int64_t>(t->keys[k].columns[i]) + 1),
                            integer(static_cast<int64_t>(i) + 1), integer(0)});
    }
  } else if (schema == "SYS" && (n == "FOREIGN_KEYS" || n == "FOREIGN_KEY_COLUMNS")) {
    bool columns = n == "FOREIGN_KEY_COLUMNS";
    if (columns)
      r.columns = {col("constraint_object_id", k_int), col("constraint_column_id", k_int),
                   col("parent_object_id", k_int),     col("parent_column_id", k_int),
                   col("referenced_object_id", k_int), col("referenced_column_id", k_int)};
    else
      r.columns = {col("name", k_sysname),
                   col("object_id", k_int),
                   col("schema_id", k_int),
                   col("parent_object_id", k_int),
                   col("referenced_object_id", k_int),
                   col("delete_referential_action_desc", sql_type{type_id::nvarchar, 60}),
                   col("update_referential_action_desc", sql_type{type_id::nvarchar, 60})};
    for (table* t : tables)
      for (size_t f = 0; f < t->foreign_keys.size(); ++f) {
        const foreign_key& fk = t->foreign_keys[f];
        table* parent = db->find_id(fk.ref_object_id);
        int64_t fk_id = static_cast<int64_t>(t->object_id) * 1000 + static_cast<int64_t>(f) + 1;
        int64_t parent_id = parent ? parent->object_id : 0;
        if (!columns) {
          std::string actions = fold_case(fk.actions);
          auto rule = [&](const std::string& on) {
            size_t p = actions.find(on);
            if (p == std::string::npos) return std::string("NO_ACTION");
            std::string rest = actions.substr(p + on.size());
            if (rest.rfind(" CASCADE", 0) == 0) return std::string("CASCADE");
            if (rest.rfind(" SET NULL", 0) == 0) return std::string("SET_NULL");
            if (rest.rfind(" SET DEFAULT", 0) == 0) return std::string("SET_DEFAULT");
            return std::string("NO_ACTION");
          };
          r.rows.push_back({text(fk.name), integer(fk_id), integer(t->schema_id),
                            integer(t->object_id), integer(parent_id), text(rule("ON DELETE")),
                            text(rule("ON UPDATE"))});
          continue;
        }
        for (size_t i = 0; i < fk.columns.size(); ++i)
          r.rows.push_back({integer(fk_id), integer(static_cast<int64_t>(i) + 1),
                            integer(t->object_id), integer(static_cast<int64_t>(fk.columns[i]) + 1),
                            integer(parent_id),
                            integer(static_cast<int64_t>(fk.ref_columns[i]) + 1)});
      }
  } else if (schema == "SYS" && n == "INDEXES") {
    r.columns = {col("object_id", k_int),
                 col("name", k_sysname),
                 col("index_id", k_int),
                 col("type_desc", sql_type{type_id::nvarchar, 60}),
                 col("is_unique", sql_type{type_id::bit}),
                 col("is_primary_key", sql_type{type_id::bit}),
                 col("is_unique_constraint", sql_type{type_id::bit})};
    for (table* t : tables) {
      std::vector<int> ids = index_ids(*t);
      for (size_t i = 0; i < t->keys.size(); ++i) {
        const key_constraint& k = t->keys[i];
        r.rows.push_back({integer(t->object_id), text(k.name), integer(ids[i]),
                          text(k.clustered ? "CLUSTERED" : "NONCLUSTERED"),
                          integer(k.k != key_constraint::kind::index),
                          integer(k.k == key_constraint::kind::primary),
                          integer(k.k == key_constraint::kind::unique && !k.from_index)});
      }
    }
  } else if (schema == "INFORMATION_SCHEMA" && n == "TABLES") {
    r.columns = {col("TABLE_CATALOG", k_sysname), col("TABLE_SCHEMA", k_sysname),
                 col("TABLE_NAME", k_sysname, false),
                 col("TABLE_TYPE", sql_type{type_id::varchar, 10})};
    for (table* t : tables)
      r.rows.push_back(
          {text(db->name), text(t->schema), text(t->name), value::string("BASE TABLE", false)});
  } else if (schema == "INFORMATION_SCHEMA" && n == "COLUMNS") {
    r.columns = {col("TABLE_CATALOG", k_sysname),
                 col("TABLE_SCHEMA", k_sysname),
                 col("TABLE_NAME", k_sysname, false),
                 col("COLUMN_NAME", k_sysname),
                 col("ORDINAL_POSITION", k_int),
                 col("COLUMN_DEFAULT", sql_type{type_id::nvarchar, 4000}),
                 col("IS_NULLABLE", sql_type{type_id::varchar, 3}),
                 col("DATA_TYPE", k_sysname),
                 col("CHARACTER_MAXIMUM_LENGTH", k_int),
                 col("NUMERIC_PRECISION", sql_type{type_id::tinyint}),
                 col("NUMERIC_SCALE", k_int),
                 col("DATETIME_PRECISION", k_smallint)};
    for (table* t : tables)
      for (size_t i = 0; i < t->columns.size(); ++i) {
        const column& c = t->columns[i];
        bool chars = c.type.is_string() || c.type.is_binary();
        bool numeric = c.type.is_integer() || c.type.is_exact_numeric() ||
                       c.type.id == type_id::real || c.type.id == type_id::float_;
        int64_t prec = precision_length(c.type).first;
        int64_t max_chars = c.type.length == k_max_length ? -1
                            : c.type.is_long()            ? prec
                                                          : c.type.length;
        r.rows.push_back({text(db->name), text(t->schema), text(t->name), text(c.name),
                          integer(static_cast<int64_t>(i) + 1),
                          c.has_default ? text(c.default_text) : value::null(),
                          value::string(c.nullable ? "YES" : "NO", false), text(c.type.name()),
                          maybe_int(chars, max_chars),
                          maybe_int(numeric, c.type.id == type_id::float_ ? 53
                                             : c.type.id == type_id::real ? 24
                                                                          : prec),
                          maybe_int(numeric && (c.type.is_integer() || c.type.is_exact_numeric()),
                                    c.type.id == type_id::money || c.type.id == type_id::smallmoney
                                        ? 4
                                        : c.type.scale),
                          maybe_int(c.type.is_temporal() && c.type.id != type_id::date,
                                    c.type.id == type_id::datetime        ? 3
                                    : c.type.id == type_id::smalldatetime ? 0
                                                                          : c.type.scale)});
      }
  } else if (schema == "INFORMATION_SCHEMA" &&
             (n == "TABLE_CONSTRAINTS" || n == "KEY_COLUMN_USAGE")) {
    bool usage = n == "KEY_COLUMN_USAGE";
    r.columns = {col("CONSTRAINT_CATALOG", k_sysname),     col("CONSTRAINT_SCHEMA", k_sysname),
                 col("CONSTRAINT_NAME", k_sysname, false), col("TABLE_CATALOG", k_sysname),
                 col("TABLE_SCHEMA", k_sysname),           col("TABLE_NAME", k_sysname, false)};
    if (usage) {
      r.columns.push_back(col("COLUMN_NAME", k_sysname));
      r.columns.push_back(col("ORDINAL_POSITION", k_int, false));
    } else {
      r.columns.push_back(col("CONSTRAINT_TYPE", sql_type{type_id::varchar, 11}));
    }
    for (table* t : tables) {
      auto add = [&](const std::string& cname, const std::string& type,
                     const std::vector<size_t>& cols) {
        std::vector<value> base = {text(db->name), text(t->schema), text(cname),
                                   text(db->name), text(t->schema), text(t->name)};
        if (!usage) {
          base.push_back(value::string(type, false));
          r.rows.push_back(base);
          return;
        }
        for (size_t i = 0; i < cols.size(); ++i) {
          std::vector<value> row = base;
          row.push_back(text(t->columns[cols[i]].name));
          row.push_back(integer(static_cast<int64_t>(i) + 1));
          r.rows.push_back(std::move(row));
        }
      };
      for (const auto& k : t->keys)
        if (k.k != key_constraint::kind::index && !k.from_index)
          add(k.name, k.k == key_constraint::kind::primary ? "PRIMARY KEY" : "UNIQUE", k.columns);
      for (const auto& fk : t->foreign_keys) add(fk.name, "FOREIGN KEY", fk.columns);
    }
  } else if (schema == "INFORMATION_SCHEMA" && n == "REFERENTIAL_CONSTRAINTS") {
    r.columns = {col("CONSTRAINT_CATALOG", k_sysname),
                 col("CONSTRAINT_SCHEMA", k_sysname),
                 col("CONSTRAINT_NAME", k_sysname, false),
                 col("UNIQUE_CONSTRAINT_CATALOG", k_sysname),
                 col("UNIQUE_CONSTRAINT_SCHEMA", k_sysname),
                 col("UNIQUE_CONSTRAINT_NAME", k_sysname),
                 col("MATCH_OPTION", sql_type{type_id::varchar, 7}),
                 col("UPDATE_RULE", sql_type{type_id::varchar, 11}),
                 col("DELETE_RULE", sql_type{type_id::varchar, 11})};
    for (table* t : tables)
      for (const auto& fk : t->foreign_keys) {
        std::string unique_name, unique_schema;
        if (table* parent = db->find_id(fk.ref_object_id)) {
          unique_schema = parent->schema;
          for (const auto& k : parent->keys)
            if (k.k != key_constraint::kind::index && k.columns == fk.ref_columns)
              unique_name = k.name;
        }
        std::string actions = fold_case(fk.actions);
        auto rule = [&](const std::string& on) {
          size_t p = actions.find(on);
          if (p == std::string::npos) return std::string("NO ACTION");
          std::string rest = actions.substr(p + on.size());
          if (rest.rfind(" CASCADE", 0) == 0) return std::string("CASCADE");
          if (rest.rfind(" SET NULL", 0) == 0) return std::string("SET NULL");
          if (rest.rfind(" SET DEFAULT", 0) == 0) return std::string("SET DEFAULT");
          return std::string("NO ACTION");
        };
        r.rows.push_back({text(db->name), text(t->schema), text(fk.name), text(db->name),
                          text(unique_schema), text(unique_name), value::string("SIMPLE", false),
                          value::string(rule("ON UPDATE"), false),
                          value::string(rule("ON DELETE"), false)});
      }
  } else {
    throw sql_error(208, 16, 1, "Invalid object name '" + name.text() + "'.");
  }
  return r;
}

relation catalog::sp_columns(const std::string& table_name, const std::string& owner) {
  relation r;
  r.columns = {col("TABLE_QUALIFIER", k_sysname),
               col("TABLE_OWNER", k_sysname),
               col("TABLE_NAME", k_sysname),
               col("COLUMN_NAME", k_sysname),
               col("DATA_TYPE", k_smallint),
               col("TYPE_NAME", k_sysname),
               col("PRECISION", k_int),
               col("LENGTH", k_int),
               col("SCALE", k_smallint),
               col("RADIX", k_smallint),
               col("NULLABLE", k_smallint),
               col("REMARKS", sql_type{type_id::varchar, 254}),
               col("COLUMN_DEF", sql_type{type_id::nvarchar, 4000}),
               col("SQL_DATA_TYPE", k_smallint),
               col("SQL_DATETIME_SUB", k_smallint),
               col("CHAR_OCTET_LENGTH", k_int),
               col("ORDINAL_POSITION", k_int),
               col("IS_NULLABLE", sql_type{type_id::varchar, 254}),
               col("SS_DATA_TYPE", sql_type{type_id::tinyint})};
  database* db = db_named("");
  if (!db) return r;
  std::vector<table*> matches;
  for (auto& [k, t] : db->tables)
    if (like(t->name, table_name) && (owner.empty() || like(t->schema, owner)))
      matches.push_back(t.get());
  for (table* t : matches)
    for (size_t i = 0; i < t->columns.size(); ++i) {
      const column& c = t->columns[i];
      const sql_type& ty = c.type;
      auto [prec, len] = precision_length(ty);
      bool numeric = ty.is_integer() || ty.is_exact_numeric() || ty.id == type_id::real ||
                     ty.id == type_id::float_;
      bool has_scale = ty.is_integer() || ty.is_exact_numeric() || ty.id == type_id::datetime ||
                       ty.id == type_id::smalldatetime || ty.id == type_id::time ||
                       ty.id == type_id::datetime2;
      int64_t scale = ty.id == type_id::money || ty.id == type_id::smallmoney ? 4
                      : ty.id == type_id::datetime                            ? 3
                                                                              : ty.scale;
      int code = odbc_type(ty);
      bool dt = ty.id == type_id::datetime || ty.id == type_id::smalldatetime;
      std::string type_name = ty.name() + (c.identity ? " identity" : "");
      r.rows.push_back(
          {text(db->name), text(t->schema), text(t->name), text(c.name),
           value::integer(code, type_id::smallint), text(type_name), integer(prec), integer(len),
           has_scale ? value::integer(scale, type_id::smallint) : value::null(),
           numeric ? value::integer(ty.id == type_id::real || ty.id == type_id::float_ ? 2 : 10,
                                    type_id::smallint)
                   : value::null(),
           value::integer(c.nullable ? 1 : 0, type_id::smallint), value::null(),
           c.has_default ? text(c.default_text) : value::null(),
           value::integer(dt ? 9 : code, type_id::smallint),
           dt ? value::integer(3, type_id::smallint) : value::null(),
           ty.is_string() || ty.is_binary() ? integer(len) : value::null(),
           integer(static_cast<int64_t>(i) + 1), value::string(c.nullable ? "YES" : "NO", false),
           value::integer(0, type_id::tinyint)});
    }
  return r;
}

}  // namespace tds
