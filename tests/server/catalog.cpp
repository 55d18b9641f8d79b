#include "catalog.hpp"

#include <algorithm>
#include <cmath>

#include "tds_text.hpp"

namespace tds {
namespace {

const sql_type k_sysname{type_id::nvarchar, 128};
const sql_type k_int{type_id::int_};
const sql_type k_smallint{type_id::smallint};

wire_column col(std::string name, sql_type t, bool nullable = true) {
  wire_column c;
  c.name = std::move(name);
  c.type = t;
  c.nullable = nullable;
  return c;
}

value text(const std::string& s) { return value::string(s, true); }
value integer(int64_t v) { return value::integer(v); }
value maybe_int(bool present, int64_t v) { return present ? value::integer(v) : value::null(); }

// The type a computed result column gets from its value.
sql_type type_of(const value& v) {
  switch (v.k) {
    case value::kind::null:
      return sql_type{type_id::int_};
    case value::kind::integer:
      return sql_type{v.origin == type_id::bigint     ? type_id::bigint
                      : v.origin == type_id::smallint ? type_id::smallint
                      : v.origin == type_id::tinyint  ? type_id::tinyint
                      : v.origin == type_id::bit      ? type_id::bit
                                                      : type_id::int_};
    case value::kind::real:
      return sql_type{type_id::float_};
    case value::kind::decimal:
      if (v.origin == type_id::money || v.origin == type_id::smallmoney) return sql_type{v.origin};
      return sql_type{type_id::numeric, 0, 38, v.scale};
    case value::kind::datetime:
      return v.origin == type_id::datetime2 || v.origin == type_id::time
                 ? sql_type{v.origin, 0, 0, 7}
                 : sql_type{v.origin};
    case value::kind::string: {
      bool unicode =
          v.origin == type_id::nvarchar || v.origin == type_id::nchar || v.origin == type_id::ntext;
      size_t n = unicode ? utf16_length(v.s) : code_points(v.s);
      int32_t limit = unicode ? 4000 : 8000;
      return sql_type{unicode ? type_id::nvarchar : type_id::varchar,
                      n > static_cast<size_t>(limit)
                          ? k_max_length
                          : std::max<int32_t>(1, static_cast<int32_t>(n))};
    }
    case value::kind::binary:
      return sql_type{type_id::varbinary,
                      v.s.size() > 8000 ? k_max_length
                                        : std::max<int32_t>(1, static_cast<int32_t>(v.s.size()))};
    case value::kind::guid:
      return sql_type{type_id::uniqueidentifier};
  }
  return sql_type{type_id::int_};
}

// SQL Server's LIKE with %, _ and [...] / [^...] classes, case-insensitive (ASCII) as the default
// collation is. Iterative, with one backtrack point per %, so neither long values nor many %
// characters can exhaust the stack or take exponential time.
bool like(std::string_view text, std::string_view pattern) {
  auto fold = [](char32_t c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; };
  struct element {
    enum kind { any_run, any_one, literal, set };
    kind k;
    char32_t c = 0;
    std::u32string members;  // for set: pairs of (low, high)
    bool negated = false;
    explicit element(kind k_, char32_t c_ = 0) : k(k_), c(c_) {}
  };
  std::u32string s = utf8_to_u32(text), p = utf8_to_u32(pattern);
  std::vector<element> elements;
  for (size_t i = 0; i < p.size(); ++i) {
    if (p[i] == '%') {
      if (elements.empty() || elements.back().k != element::any_run)
        elements.emplace_back(element::any_run);
    } else if (p[i] == '_') {
      elements.emplace_back(element::any_one);
    } else if (p[i] == '[' && p.find(']', i + 1) != std::u32string::npos) {
      size_t close = p.find(']', i + 1);
      element e(element::set);
      size_t j = i + 1;
      if (j < close && p[j] == '^') {
        e.negated = true;
        ++j;
      }
      for (; j < close; ++j) {
        if (j + 2 < close && p[j + 1] == '-') {
          e.members += fold(p[j]);
          e.members += fold(p[j + 2]);
          j += 2;
        } else {
          e.members += fold(p[j]);
          e.members += fold(p[j]);
        }
      }
      elements.push_back(std::move(e));
      i = close;
    } else {
      elements.emplace_back(element::literal, fold(p[i]));
    }
  }
  auto matches = [&](const element& e, char32_t c) {
    c = fold(c);
    if (e.k == element::any_one) return true;
    if (e.k == element::literal) return e.c == c;
    bool hit = false;
    for (size_t m = 0; m + 1 < e.members.size(); m += 2)
      hit |= c >= e.members[m] && c <= e.members[m + 1];
    return hit != e.negated;
  };
  size_t si = 0, ei = 0, star = std::string::npos, star_si = 0;
  while (si < s.size()) {
    if (ei < elements.size() && elements[ei].k == element::any_run) {
      star = ei++;
      star_si = si;
    } else if (ei < elements.size() && matches(elements[ei], s[si])) {
      ++ei;
      ++si;
    } else if (star != std::string::npos) {
      ei = star + 1;
      si = ++star_si;
    } else {
      return false;
    }
  }
  while (ei < elements.size() && elements[ei].k == element::any_run) ++ei;
  return ei == elements.size();
}

bool is_aggregate(const sql::expr& e) {
  return e.k == sql::expr::kind::function &&
         (e.name == "count" || e.name == "count_big" || e.name == "min" || e.name == "max" ||
          e.name == "sum" || e.name == "avg");
}

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

double to_double(const value& v) {
  return v.k == value::kind::integer   ? static_cast<double>(v.i)
         : v.k == value::kind::decimal ? static_cast<double>(v.dec) / std::pow(10.0, v.scale)
                                       : v.f;
}

// Explicit conversion: like the implicit one, except that text and bytes are cut to the target's
// length without an error and text may become bytes.
value cast(const value& v, const sql_type& to) {
  if (v.is_null()) return v;
  if ((to.is_string() || to.is_binary()) && to.length != k_max_length) {
    sql_type wide = to;
    wide.length = k_max_length;
    if (wide.id == type_id::char_) wide.id = type_id::varchar;
    if (wide.id == type_id::nchar) wide.id = type_id::nvarchar;
    if (wide.id == type_id::binary) wide.id = type_id::varbinary;
    value whole;
    if (to.is_binary() && v.k == value::kind::string)
      whole =
          value::binary(v.origin == type_id::nvarchar ? utf8_to_utf16le(v.s) : utf8_to_cp1252(v.s));
    else
      whole = convert(v, wide);
    if (to.is_string()) {
      whole.s = utf8_prefix_units(whole.s, static_cast<size_t>(to.length), to.is_unicode());
    } else if (whole.s.size() > static_cast<size_t>(to.length)) {
      whole.s.resize(static_cast<size_t>(to.length));
    }
    return convert(whole, to);
  }
  if (to.is_binary() && v.k == value::kind::string)
    return value::binary(v.origin == type_id::nvarchar ? utf8_to_utf16le(v.s)
                                                       : utf8_to_cp1252(v.s));
  return convert(v, to);
}

// sys.indexes numbering: the clustered index is 1, the others follow from 2 in creation order.
std::vector<int> index_ids(const table& t) {
  std::vector<int> ids;
  int next = 2;
  for (const auto& k : t.keys) ids.push_back(k.clustered ? 1 : next++);
  return ids;
}

}  // namespace

database* catalog::db_named(const std::string& name) {
  return engine_.find_db(name.empty() ? db_ : name);
}

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
      r.rows.push_back({text(t->name), integer(t->object_id), integer(1),
                        value::string("U ", false), text("USER_TABLE")});
  } else if (schema == "SYS" && n == "SCHEMAS") {
    r.columns = {col("name", k_sysname), col("schema_id", k_int)};
    r.rows.push_back({text("dbo"), integer(1)});
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
                   col("parent_object_id", k_int),
                   col("referenced_object_id", k_int),
                   col("delete_referential_action_desc", sql_type{type_id::nvarchar, 60}),
                   col("update_referential_action_desc", sql_type{type_id::nvarchar, 60})};
    for (table* t : tables)
      for (size_t f = 0; f < t->foreign_keys.size(); ++f) {
        const foreign_key& fk = t->foreign_keys[f];
        table* parent = db->find(fk.ref_table);
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
          r.rows.push_back({text(fk.name), integer(fk_id), integer(t->object_id),
                            integer(parent_id), text(rule("ON DELETE")), text(rule("ON UPDATE"))});
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
        std::string unique_name;
        if (table* parent = db->find(fk.ref_table))
          for (const auto& k : parent->keys)
            if (k.k != key_constraint::kind::index && k.columns == fk.ref_columns)
              unique_name = k.name;
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
                          text("dbo"), text(unique_name), value::string("SIMPLE", false),
                          value::string(rule("ON UPDATE"), false),
                          value::string(rule("ON DELETE"), false)});
      }
  } else {
    throw sql_error(208, 16, 1, "Invalid object name '" + name.text() + "'.");
  }
  return r;
}

relation catalog::source(const sql::select_stmt& q, bool metadata_only) {
  relation r;
  if (q.from.empty()) {
    r.rows.emplace_back();
    return r;
  }
  r = from_one(q.from[0], q, metadata_only && q.from.size() == 1);
  for (size_t j = 1; j < q.from.size(); ++j) {
    const sql::from_item& item = q.from[j];
    relation right = from_one(item, q, false);
    relation joined;
    joined.columns = r.columns;
    joined.columns.insert(joined.columns.end(), right.columns.begin(), right.columns.end());
    joined.qualifiers = r.qualifiers;
    joined.qualifiers.insert(joined.qualifiers.end(), right.qualifiers.begin(),
                             right.qualifiers.end());
    for (auto& c : joined.columns) c.nullable = c.nullable || item.left_join;
    // Nested loops: the catalogs these joins serve are small.
    for (const auto& left_row : r.rows) {
      bool matched = false;
      for (const auto& right_row : right.rows) {
        std::vector<value> row = left_row;
        row.insert(row.end(), right_row.begin(), right_row.end());
        if (!item.on || test(*item.on, &joined, &row)) {
          joined.rows.push_back(std::move(row));
          matched = true;
        }
      }
      if (!matched && item.left_join) {
        std::vector<value> row = left_row;
        row.resize(joined.columns.size());
        joined.rows.push_back(std::move(row));
      }
    }
    r = std::move(joined);
  }
  return r;
}

relation catalog::from_one(const sql::from_item& item, const sql::select_stmt& q,
                           bool metadata_only) {
  relation r;
  if (item.subquery) {
    r = select(*item.subquery, false);
    r.qualifiers.assign(r.columns.size(), item.alias);
    return r;
  }
  const sql::object_name& name = *item.table;
  std::string qualifier = item.alias.empty() ? name.name : item.alias;
  std::string schema = fold_case(name.schema);
  if (schema == "SYS" || schema == "INFORMATION_SCHEMA") {
    r = view(name);
    r.qualifiers.assign(r.columns.size(), qualifier);
    return r;
  }
  database* db = db_named(name.database);
  table* t = db ? db->find(name.name) : nullptr;
  if (!t) throw sql_error(208, 16, 1, "Invalid object name '" + name.text() + "'.");
  for (const auto& c : t->columns) {
    wire_column w = col(c.name, c.type, c.nullable);
    w.identity = c.identity;
    w.table = t->name;
    r.columns.push_back(std::move(w));
  }
  r.qualifiers.assign(r.columns.size(), qualifier);
  if (metadata_only) return r;
  // COUNT(*) over one table without a filter needs no rows decoded.
  if (!q.where && q.from.size() == 1 && q.items.size() == 1 &&
      q.items[0].e->k == sql::expr::kind::function && q.items[0].e->name == "count" &&
      !q.items[0].e->args.empty() && q.items[0].e->args[0]->k == sql::expr::kind::star) {
    r.rows.assign(t->rows.size(), std::vector<value>());
    r.columns.clear();
    r.qualifiers.clear();
    return r;
  }
  r.rows.reserve(t->rows.size());
  for (const auto& row : t->rows) r.rows.push_back(engine::decode_row(*t, row));
  return r;
}

int catalog::resolve(const relation& r, const sql::expr& e) const {
  int found = -1;
  for (size_t i = 0; i < r.columns.size(); ++i) {
    if (!iequals(r.columns[i].name, e.name)) continue;
    if (!e.qualifier.empty() &&
        (i >= r.qualifiers.size() || !iequals(r.qualifiers[i], e.qualifier)))
      continue;
    if (found >= 0) throw sql_error(209, 16, 1, "Ambiguous column name '" + e.name + "'.");
    found = static_cast<int>(i);
  }
  if (found < 0 && !e.qualifier.empty())
    throw sql_error(
        4104, 16, 1,
        "The multi-part identifier \"" + e.qualifier + "." + e.name + "\" could not be bound.");
  return found;
}

value catalog::eval(const sql::expr& e, const relation* r, const std::vector<value>* row) {
  using k = sql::expr::kind;
  switch (e.k) {
    case k::literal:
      return e.literal;
    case k::column: {
      int i = r ? resolve(*r, e) : -1;
      if (i < 0 || !row || static_cast<size_t>(i) >= row->size())
        throw sql_error(207, 16, 1, "Invalid column name '" + e.name + "'.");
      return (*row)[static_cast<size_t>(i)];
    }
    case k::variable:
      if (e.name == "@@VERSION") return text(version_);
      if (e.name == "@@SERVERNAME") return text("TESSALY-TEST");
      if (e.name == "@@SPID") return value::integer(51, type_id::smallint);
      if (e.name == "@@IDENTITY" || e.name == "@@ROWCOUNT" || e.name == "@@ERROR" ||
          e.name == "@@TRANCOUNT")
        return value::integer(0);
      if (e.name == "@@LANGUAGE") return text("us_english");
      throw sql_error(137, 15, 2, "Must declare the scalar variable \"" + e.name + "\".");
    case k::unary_minus: {
      value v = eval(*e.args[0], r, row);
      if (v.k == value::kind::integer)
        v.i = -v.i;
      else if (v.k == value::kind::decimal)
        v.dec = -v.dec;
      else if (v.k == value::kind::real)
        v.f = -v.f;
      else if (!v.is_null())
        throw sql_error(
            8117, 16, 1,
            "Operand data type " + type_of(v).name() + " is invalid for minus operator.");
      return v;
    }
    case k::function: {
      std::vector<value> args;
      for (const auto& a : e.args)
        if (a->k != k::star) args.push_back(eval(*a, r, row));
      auto arg_text = [&](size_t i) {
        return i < args.size() && !args[i].is_null() ? to_text(args[i], type_of(args[i]))
                                                     : std::string();
      };
      if (e.name == "serverproperty") {
        std::string p = fold_case(arg_text(0));
        if (p == "PRODUCTVERSION") return text("15.0.2000.5");
        if (p == "PRODUCTLEVEL") return text("RTM");
        if (p == "EDITION") return text("Developer Edition (64-bit)");
        if (p == "ENGINEEDITION") return value::integer(3);
        if (p == "SERVERNAME" || p == "MACHINENAME") return text("TESSALY-TEST");
        if (p == "COLLATION") return text("SQL_Latin1_General_CP1_CI_AS");
        if (p == "PRODUCTMAJORVERSION") return text("15");
        if (p == "ISINTEGRATEDSECURITYONLY") return value::integer(0);
        return value::null();
      }
      if (e.name == "db_id") {
        database* d = args.empty() ? db_named("") : engine_.find_db(arg_text(0));
        return d ? value::integer(d->id, type_id::smallint) : value::null();
      }
      if (e.name == "db_name") return text(db_);
      if (e.name == "cast" || e.name == "convert") return cast(args.at(0), e.target);
      if (e.name == "object_id") {
        std::string n = arg_text(0);
        std::vector<std::string> parts;
        size_t p = 0;
        // Accepts db.schema.name with optional brackets.
        while (p <= n.size()) {
          std::string part;
          if (p < n.size() && n[p] == '[') {
            ++p;
            while (p < n.size() && !(n[p] == ']' && (p + 1 >= n.size() || n[p + 1] != ']'))) {
              if (n[p] == ']') ++p;
              part += n[p++];
            }
            ++p;
          } else {
            while (p < n.size() && n[p] != '.') part += n[p++];
          }
          parts.push_back(part);
          if (p >= n.size() || n[p] != '.') break;
          ++p;
        }
        database* d = parts.size() == 3 ? engine_.find_db(parts[0]) : db_named("");
        table* t = d && !parts.empty() ? d->find(parts.back()) : nullptr;
        return t ? value::integer(t->object_id) : value::null();
      }
      if (e.name == "user_name" || e.name == "suser_sname" || e.name == "suser_name" ||
          e.name == "current_user")
        return text(user_ == "sa" ? "dbo" : user_);
      if (e.name == "schema_name") return text("dbo");
      if (e.name == "isnull" || e.name == "coalesce") {
        for (const auto& a : args)
          if (!a.is_null()) return a;
        return value::null();
      }
      if (e.name == "len") {
        if (args.empty() || args[0].is_null()) return value::null();
        std::string s = arg_text(0);
        while (!s.empty() && s.back() == ' ') s.pop_back();
        return value::integer(static_cast<int64_t>(utf16_length(s)));
      }
      if (e.name == "datalength") {
        if (args.empty() || args[0].is_null()) return value::null();
        const value& v = args[0];
        if (v.k == value::kind::string)
          return value::integer(static_cast<int64_t>(v.origin == type_id::nvarchar ||
                                                             v.origin == type_id::nchar ||
                                                             v.origin == type_id::ntext
                                                         ? 2 * utf16_length(v.s)
                                                         : utf8_to_cp1252(v.s).size()));
        return value::integer(static_cast<int64_t>(v.s.size()));
      }
      if (e.name == "getdate") {
        return convert(value::string("2026-01-01 00:00:00", false), sql_type{type_id::datetime});
      }
      throw sql_error(195, 15, 10, "'" + e.name + "' is not a recognized built-in function name.");
    }
    default:
      return value::integer(test(e, r, row) ? 1 : 0, type_id::bit);
  }
}

bool catalog::test(const sql::expr& e, const relation* r, const std::vector<value>* row) {
  using k = sql::expr::kind;
  switch (e.k) {
    case k::logical_and:
      return test(*e.args[0], r, row) && test(*e.args[1], r, row);
    case k::logical_or:
      return test(*e.args[0], r, row) || test(*e.args[1], r, row);
    case k::logical_not:
      return !test(*e.args[0], r, row);
    case k::is_null:
      return eval(*e.args[0], r, row).is_null() != e.negated;
    case k::subquery_exists:
      return !select(*e.subquery).rows.empty();
    case k::like: {
      value a = eval(*e.args[0], r, row), b = eval(*e.args[1], r, row);
      if (a.is_null() || b.is_null()) return false;
      return like(to_text(a, type_of(a)), to_text(b, type_of(b))) != e.negated;
    }
    case k::in_list: {
      value a = eval(*e.args[0], r, row);
      if (a.is_null()) return false;
      bool hit = false;
      for (size_t i = 1; i < e.args.size(); ++i) {
        value b = eval(*e.args[i], r, row);
        if (b.is_null()) continue;
        if (a.k != b.k && !b.is_null() && a.k != value::kind::string)
          b = convert(b, type_of(a));
        else if (a.k != b.k)
          a = convert(a, type_of(b));
        hit |= compare(a, b) == 0;
      }
      return hit != e.negated;
    }
    case k::compare: {
      value a = eval(*e.args[0], r, row), b = eval(*e.args[1], r, row);
      if (a.is_null() || b.is_null()) return false;
      // Mixed kinds: the string side converts to the other side's type, as SQL Server's precedence
      // says.
      if (a.k == value::kind::string && b.k != value::kind::string)
        a = convert(a, type_of(b));
      else if (b.k == value::kind::string && a.k != value::kind::string)
        b = convert(b, type_of(a));
      int c = compare(a, b);
      const std::string& op = e.name;
      if (op == "=") return c == 0;
      if (op == "<>" || op == "!=") return c != 0;
      if (op == "<") return c < 0;
      if (op == ">") return c > 0;
      if (op == "<=" || op == "!>") return c <= 0;
      return c >= 0;
    }
    default: {
      throw sql_error(4145, 15, 1,
                      "An expression of non-boolean type specified in a context where a condition "
                      "is expected.");
    }
  }
}

value catalog::eval_constant(const sql::expr& e) { return eval(e, nullptr, nullptr); }
bool catalog::truth(const sql::expr& e) { return test(e, nullptr, nullptr); }

relation catalog::select(const sql::select_stmt& q, bool metadata_only) {
  relation src = source(q, metadata_only);
  if (q.where) {
    std::vector<std::vector<value>> kept;
    for (auto& row : src.rows)
      if (test(*q.where, &src, &row)) kept.push_back(std::move(row));
    src.rows = std::move(kept);
  }
  bool aggregate = std::any_of(q.items.begin(), q.items.end(),
                               [](const sql::select_item& i) { return is_aggregate(*i.e); });
  relation out;
  if (aggregate) {
    std::vector<value> result;
    for (const auto& item : q.items) {
      const sql::expr& e = *item.e;
      if (is_aggregate(e) && e.args.size() != 1)
        throw sql_error(174, 15, 1, "The " + e.name + " function requires 1 argument(s).");
      if (!is_aggregate(e))
        throw sql_error(8120, 16, 1,
                        "Column '" + e.name +
                            "' is invalid in the select list because it is not contained in either "
                            "an aggregate function or the GROUP BY clause.");
      wire_column c;
      c.name = item.alias;
      if (e.name == "count" || e.name == "count_big") {
        int64_t n = 0;
        if (!e.args.empty() && e.args[0]->k == sql::expr::kind::star)
          n = static_cast<int64_t>(src.rows.size());
        else
          for (const auto& row : src.rows) n += !eval(*e.args.at(0), &src, &row).is_null();
        c.type = sql_type{e.name == "count" ? type_id::int_ : type_id::bigint};
        result.push_back(value::integer(n, c.type.id));
      } else if (e.name == "sum" || e.name == "avg") {
        // Integers add up as bigint, exact numerics as decimal(38, s), the rest as float.
        value total;
        int64_t n = 0;
        for (const auto& row : src.rows) {
          value v = eval(*e.args.at(0), &src, &row);
          if (v.is_null()) continue;
          ++n;
          if (total.is_null()) {
            total = v;
            if (v.k == value::kind::integer) total = value::integer(v.i, type_id::bigint);
            continue;
          }
          if (total.k == value::kind::integer && v.k == value::kind::integer) {
            if (__builtin_add_overflow(total.i, v.i, &total.i))
              throw sql_error(
                  8115, 16, 2,
                  "Arithmetic overflow error converting expression to data type bigint.");
          } else if (total.k == value::kind::decimal && v.k == value::kind::decimal &&
                     total.scale == v.scale) {
            total.dec += v.dec;
          } else if (total.k == value::kind::real || v.k == value::kind::real) {
            total = value::real(to_double(total) + to_double(v));
          } else {
            throw sql_error(8117, 16, 1,
                            "Operand data type " + type_of(v).name() + " is invalid for " + e.name +
                                " operator.");
          }
        }
        if (e.name == "avg" && n > 0) {
          if (total.k == value::kind::integer)
            total.i /= n;
          else if (total.k == value::kind::decimal) {
            // AVG of decimal(p, s) is decimal(38, max(s, 6)).
            for (; total.scale < 6; ++total.scale) total.dec *= 10;
            total.dec /= n;
          } else
            total.f /= static_cast<double>(n);
        }
        c.type = type_of(total);
        result.push_back(total);
      } else {
        value best;
        for (const auto& row : src.rows) {
          value v = eval(*e.args.at(0), &src, &row);
          if (v.is_null()) continue;
          int cmp = best.is_null() ? 0 : compare(v, best);
          if (best.is_null() || (e.name == "min" ? cmp < 0 : cmp > 0)) best = v;
        }
        c.type = e.args.at(0)->k == sql::expr::kind::column && resolve(src, *e.args[0]) >= 0
                     ? src.columns[static_cast<size_t>(resolve(src, *e.args[0]))].type
                     : type_of(best);
        result.push_back(best);
      }
      out.columns.push_back(c);
    }
    if (!metadata_only) out.rows.push_back(std::move(result));
    return out;
  }
  if (!q.order_by.empty()) {
    std::vector<std::vector<value>> keys;
    std::vector<size_t> order(src.rows.size());
    for (size_t i = 0; i < src.rows.size(); ++i) {
      order[i] = i;
      std::vector<value> k;
      for (const auto& o : q.order_by) k.push_back(eval(*o.e, &src, &src.rows[i]));
      keys.push_back(std::move(k));
    }
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
      for (size_t j = 0; j < q.order_by.size(); ++j) {
        int c = compare(keys[a][j], keys[b][j]);
        if (c != 0) return q.order_by[j].descending ? c > 0 : c < 0;
      }
      return false;
    });
    std::vector<std::vector<value>> sorted;
    sorted.reserve(order.size());
    for (size_t i : order) sorted.push_back(std::move(src.rows[i]));
    src.rows = std::move(sorted);
  }
  if (q.top && static_cast<int64_t>(src.rows.size()) > *q.top)
    src.rows.resize(static_cast<size_t>(std::max<int64_t>(0, *q.top)));
  // Projection: each item is a source column, * (all of them) or a computed value.
  struct slot {
    int source = -1;
    const sql::expr* e = nullptr;
  };
  std::vector<slot> slots;
  for (const auto& item : q.items) {
    const sql::expr& e = *item.e;
    if (e.k == sql::expr::kind::star) {
      if (q.from.empty()) throw sql_error(263, 16, 1, "Must specify table to select from.");
      bool any = false;
      for (size_t i = 0; i < src.columns.size(); ++i) {
        if (!e.qualifier.empty() &&
            (i >= src.qualifiers.size() || !iequals(src.qualifiers[i], e.qualifier)))
          continue;
        slots.push_back({static_cast<int>(i), nullptr});
        out.columns.push_back(src.columns[i]);
        any = true;
      }
      if (!any && !e.qualifier.empty())
        throw sql_error(4104, 16, 1,
                        "The multi-part identifier \"" + e.qualifier + "\" could not be bound.");
      continue;
    }
    if (e.k == sql::expr::kind::column) {
      int i = resolve(src, e);
      if (i < 0) throw sql_error(207, 16, 1, "Invalid column name '" + e.name + "'.");
      wire_column c = src.columns[static_cast<size_t>(i)];
      if (!item.alias.empty()) c.name = item.alias;
      slots.push_back({i, nullptr});
      out.columns.push_back(std::move(c));
      continue;
    }
    wire_column c;
    c.name = item.alias;
    std::vector<value> probe_row(src.columns.size());
    value probe = eval(e, &src, src.rows.empty() ? &probe_row : &src.rows[0]);
    c.type = type_of(probe);
    if (probe.k == value::kind::string) c.type.length = c.type.is_unicode() ? 4000 : 8000;
    if (e.k == sql::expr::kind::function && (e.name == "cast" || e.name == "convert"))
      c.type = e.target;
    slots.push_back({-1, &e});
    out.columns.push_back(std::move(c));
  }
  if (metadata_only) return out;
  out.rows.reserve(src.rows.size());
  for (auto& row : src.rows) {
    std::vector<value> projected;
    projected.reserve(slots.size());
    for (size_t i = 0; i < slots.size(); ++i) {
      if (slots[i].source >= 0) {
        projected.push_back(row[static_cast<size_t>(slots[i].source)]);
      } else {
        value v = eval(*slots[i].e, &src, &row);
        projected.push_back(v.is_null() ? v : convert(v, out.columns[i].type));
      }
    }
    out.rows.push_back(std::move(projected));
  }
  return out;
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
