#include "engine.hpp"

#include <algorithm>
#include <cstring>

#include "tds_text.hpp"

namespace tds {
namespace {

value::kind kind_of(const sql_type& t) {
  if (t.is_integer()) return value::kind::integer;
  if (t.id == type_id::real || t.id == type_id::float_) return value::kind::real;
  if (t.is_exact_numeric()) return value::kind::decimal;
  if (t.is_temporal()) return value::kind::datetime;
  if (t.is_string()) return value::kind::string;
  if (t.id == type_id::uniqueidentifier) return value::kind::guid;
  return value::kind::binary;
}

void put(std::string& out, const void* p, size_t n) { out.append(static_cast<const char*>(p), n); }
template <typename T>
T get(std::string_view row, size_t& pos) {
  T v;
  if (pos + sizeof(T) > row.size()) throw std::logic_error("corrupt row");
  std::memcpy(&v, row.data() + pos, sizeof(T));
  pos += sizeof(T);
  return v;
}

std::string key_text(const table& t, const std::vector<value>& row,
                     const std::vector<size_t>& cols) {
  std::string out = "(";
  for (size_t i = 0; i < cols.size(); ++i) {
    if (i) out += ", ";
    out += to_text(row[cols[i]], t.columns[cols[i]].type);
  }
  return out + ")";
}

}  // namespace

int table::find_column(std::string_view n) const {
  for (size_t i = 0; i < columns.size(); ++i)
    if (iequals(columns[i].name, n)) return static_cast<int>(i);
  return -1;
}

table* database::find(std::string_view schema, std::string_view n) {
  auto it = tables.find({fold_case(schema), fold_case(n)});
  return it == tables.end() ? nullptr : it->second.get();
}

table* database::find_id(int32_t object_id) {
  for (auto& [key, t] : tables)
    if (t->object_id == object_id) return t.get();
  return nullptr;
}

const schema_info* database::find_schema(std::string_view n) const {
  auto it = schemas.find(fold_case(n));
  return it == schemas.end() ? nullptr : &it->second;
}

const schema_info* database::find_schema(int32_t schema_id) const {
  for (const auto& [key, sc] : schemas)
    if (sc.id == schema_id) return &sc;
  return nullptr;
}

engine::engine() {
  for (const char* n : {"master", "tempdb", "model", "msdb"}) {
    auto db = std::make_unique<database>();
    db->name = n;
    db->id = static_cast<int32_t>(dbs_.size() + 1);
    db->owner = "SA";
    add_system_schemas(*db);
    dbs_[fold_case(n)] = std::move(db);
  }
}

void engine::add_system_schemas(database& db) {
  int32_t id = 1;
  for (const char* n : {"dbo", "guest", "INFORMATION_SCHEMA", "sys"}) {
    db.schemas[fold_case(n)] = schema_info{n, id, id};
    ++id;
  }
}

std::optional<principal> engine::principal_of(const database& db, std::string_view login) {
  const std::string folded = fold_case(login);
  if (folded == "SA" || folded == db.owner) return principal{"dbo", "dbo"};
  auto it = db.users.find(folded);
  if (it != db.users.end()) return principal{it->second.name, it->second.default_schema};
  // Every login may use the system databases, as their guest user.
  if (db.id <= 4) return principal{"guest", "guest"};
  return std::nullopt;
}

table* engine::resolve(database& db, const sql::object_name& n, const std::string& default_schema) {
  if (!n.schema.empty()) return db.find(n.schema, n.name);
  if (table* t = db.find(default_schema, n.name)) return t;
  return db.find("dbo", n.name);
}

void engine::create_schema(database& db, const std::string& n) {
  if (db.find_schema(n))
    throw sql_error(2714, 16, 6, "There is already an object named '" + n + "' in the database.");
  db.schemas[fold_case(n)] = schema_info{n, db.next_schema_id++, 1};
}

void engine::create_user(database& db, const std::string& user, const std::string& login,
                         const std::string& default_schema, bool known_login) {
  if (!known_login)
    throw sql_error(15007, 16, 1,
                    "'" + login + "' is not a valid login or you do not have permission.");
  bool taken = iequals(user, "dbo") || iequals(user, "guest") || iequals(user, "sys") ||
               iequals(user, "INFORMATION_SCHEMA");
  for (const auto& [key, u] : db.users) taken |= iequals(u.name, user);
  if (taken)
    throw sql_error(15023, 16, 1,
                    "User, group, or role '" + user + "' already exists in the current database.");
  if (!login.empty() &&
      (db.users.count(fold_case(login)) || fold_case(login) == db.owner || iequals(login, "sa")))
    throw sql_error(15063, 16, 1, "The login already has an account under a different user name.");
  // A user WITHOUT LOGIN is keyed so that no login name can match it.
  db.users[login.empty() ? "\n" + fold_case(user) : fold_case(login)] =
      db_user{user, login, default_schema.empty() ? "dbo" : default_schema, db.next_principal_id++};
}

void engine::alter_user(database& db, const std::string& user, const std::string& default_schema) {
  for (auto& [key, u] : db.users)
    if (iequals(u.name, user)) {
      u.default_schema = default_schema.empty() ? "dbo" : default_schema;
      return;
    }
  throw sql_error(15151, 16, 1,
                  "Cannot alter the user '" + user +
                      "', because it does not exist or you do not have permission.");
}

database* engine::find_db(std::string_view n) {
  auto it = dbs_.find(fold_case(n));
  return it == dbs_.end() ? nullptr : it->second.get();
}

std::vector<database*> engine::databases() {
  std::vector<database*> out;
  for (auto& [k, db] : dbs_) out.push_back(db.get());
  std::sort(out.begin(), out.end(), [](auto* a, auto* b) { return a->id < b->id; });
  return out;
}

void engine::create_db(const std::string& n, const std::string& owner_login) {
  if (find_db(n))
    throw sql_error(1801, 16, 3,
                    "Database '" + n + "' already exists. Choose a different database name.");
  auto db = std::make_unique<database>();
  db->name = n;
  db->id = next_db_id_++;
  db->owner = fold_case(owner_login);
  add_system_schemas(*db);
  dbs_[fold_case(n)] = std::move(db);
}

void engine::drop_db(const std::string& n, const std::string& login) {
  database* db = find_db(n);
  const std::string folded = fold_case(login);
  if (!db || db->id <= 4 || (folded != "SA" && folded != db->owner))
    throw sql_error(3701, 11, 1,
                    "Cannot drop the database '" + n +
                        "', because it does not exist or you do not have permission.");
  dbs_.erase(fold_case(n));
}

std::string encode_key(const std::vector<value>& values, const std::vector<size_t>& columns) {
  std::string out;
  for (size_t c : columns) {
    const value& v = values[c];
    out.push_back(static_cast<char>(v.k));
    switch (v.k) {
      case value::kind::null:
        break;
      case value::kind::integer:
        put(out, &v.i, 8);
        break;
      case value::kind::real:
        put(out, &v.f, 8);
        break;
      case value::kind::decimal:
        put(out, &v.dec, 16);
        break;
      case value::kind::datetime:
        put(out, &v.days, 4);
        put(out, &v.ticks, 8);
        break;
      case value::kind::string: {
        // The default collation ignores case and trailing spaces.
        std::string f = fold_case(v.s);
        while (!f.empty() && f.back() == ' ') f.pop_back();
        uint32_t n = static_cast<uint32_t>(f.size());
        put(out, &n, 4);
        out += f;
        break;
      }
      default: {
        uint32_t n = static_cast<uint32_t>(v.s.size());
        put(out, &n, 4);
        out += v.s;
      }
    }
  }
  return out;
}

std::string engine::encode_row(const table& t, const std::vector<value>& values) {
  std::string out;
  out.reserve(values.size() * 9);
  for (size_t i = 0; i < t.columns.size(); ++i) {
    const value& v = values[i];
    if (v.is_null()) {
      out.push_back(0);
      continue;
    }
    out.push_back(1);
    switch (kind_of(t.columns[i].type)) {
      case value::kind::integer:
        put(out, &v.i, 8);
        break;
      case value::kind::real:
        put(out, &v.f, 8);
        break;
      case value::kind::decimal:
        put(out, &v.dec, 16);
        break;
      case value::kind::datetime:
        put(out, &v.days, 4);
        put(out, &v.ticks, 8);
        break;
      default: {
        uint32_t n = static_cast<uint32_t>(v.s.size());
        put(out, &n, 4);
        out += v.s;
      }
    }
  }
  return out;
}

std::vector<value> engine::decode_row(const table& t, std::string_view row) {
  std::vector<value> out(t.columns.size());
  size_t pos = 0;
  for (size_t i = 0; i < t.columns.size(); ++i) {
    if (get<char>(row, pos) == 0) continue;
    const sql_type& ty = t.columns[i].type;
    value& v = out[i];
    v.k = kind_of(ty);
    v.origin = ty.id;
    switch (v.k) {
      case value::kind::integer:
        v.i = get<int64_t>(row, pos);
        break;
      case value::kind::real:
        v.f = get<double>(row, pos);
        break;
      case value::kind::decimal:
        v.dec = get<__int128>(row, pos);
        v.scale = ty.id == type_id::money || ty.id == type_id::smallmoney ? 4 : ty.scale;
        break;
      case value::kind::datetime:
        v.days = get<int32_t>(row, pos);
        v.ticks = get<int64_t>(row, pos);
        break;
      default: {
        auto n = get<uint32_t>(row, pos);
        if (pos + n > row.size()) throw std::logic_error("corrupt row");
        v.s.assign(row.data() + pos, n);
        pos += n;
      }
    }
  }
  return out;
}

table& engine::create_table(database& db, const std::string& schema, const sql::statement& s,
                            const std::string& default_schema) {
  const schema_info* sc = db.find_schema(schema);
  // Nobody creates tables in the system's own schemas.
  if (!sc || iequals(schema, "sys") || iequals(schema, "INFORMATION_SCHEMA"))
    throw sql_error(2760, 16, 1,
                    "The specified schema name \"" + schema +
                        "\" either does not exist or you do not have permission to use it.");
  if (db.find(sc->name, s.object.name))
    throw sql_error(2714, 16, 6,
                    "There is already an object named '" + s.object.name + "' in the database.");
  if (s.columns.size() > k_max_columns)
    throw sql_error(1702, 16, 1,
                    "CREATE TABLE failed because column '" + s.columns[k_max_columns].name +
                        "' in table '" + s.object.name + "' exceeds the maximum of " +
                        std::to_string(k_max_columns) + " columns.");
  auto t = std::make_unique<table>();
  t->name = s.object.name;
  t->schema = sc->name;
  t->schema_id = sc->id;
  t->object_id = next_object_id();
  std::vector<sql::key_def> keys;
  int identities = 0;
  for (const auto& cd : s.columns) {
    if (t->find_column(cd.name) >= 0)
      throw sql_error(2705, 16, 3,
                      "Column names in each table must be unique. Column name '" + cd.name +
                          "' in table '" + t->name + "' is specified more than once.");
    column c;
    c.name = cd.name;
    c.type = cd.type;
    c.identity = cd.identity;
    c.seed = cd.seed;
    c.increment = cd.increment;
    if (cd.identity) {
      ++identities;
      if (!(cd.type.is_integer() && cd.type.id != type_id::bit) &&
          !((cd.type.id == type_id::decimal || cd.type.id == type_id::numeric) &&
            cd.type.scale == 0))
        throw sql_error(2749, 16, 2,
                        "Identity column '" + cd.name +
                            "' must be of data type int, bigint, smallint, tinyint, or decimal or "
                            "numeric with a scale of 0, and constrained to be nonnullable.");
    }
    c.nullable = cd.nullable.value_or(!cd.identity && !cd.primary_key);
    if (cd.default_value) {
      if (cd.default_value->k != sql::expr::kind::literal)
        throw sql_error(102, 15, 1, "Incorrect syntax near '" + cd.default_text + "'.");
      c.has_default = true;
      c.default_value = convert(cd.default_value->literal, cd.type, t->name, cd.name);
      c.default_text = cd.default_text;
    }
    t->columns.push_back(std::move(c));
    if (cd.primary_key || cd.unique) {
      sql::key_def k;
      k.k = cd.primary_key ? sql::key_def::kind::primary : sql::key_def::kind::unique;
      k.name = cd.constraint_name;
      k.clustered = cd.primary_key && cd.clustered;
      k.columns.push_back(cd.name);
      keys.push_back(k);
    }
  }
  if (identities > 1)
    throw sql_error(2744, 16, 2,
                    "Multiple identity columns specified for table '" + t->name +
                        "'. Only one identity column per table is allowed.");
  for (const auto& k : s.keys) keys.push_back(k);
  for (const auto& c : t->columns)
    if (c.identity) t->identity_next = c.seed;
  table& ref = *t;
  const std::pair<std::string, std::string> folded{fold_case(t->schema), fold_case(t->name)};
  db.tables[folded] = std::move(t);
  try {
    for (const auto& k : keys) add_constraint(db, ref, k, default_schema);
  } catch (...) {
    db.tables.erase(folded);
    throw;
  }
  return ref;
}

void engine::drop_table(database& db, table& t) {
  for (auto& [name, other] : db.tables)
    for (const auto& fk : other->foreign_keys)
      if (other.get() != &t && fk.ref_object_id == t.object_id)
        throw sql_error(3726, 16, 1,
                        "Could not drop object '" + t.schema + "." + t.name +
                            "' because it is referenced by a FOREIGN KEY constraint.");
  db.tables.erase({fold_case(t.schema), fold_case(t.name)});
}

void engine::add_key(database& db, table& t, key_constraint k) {
  for (auto& [name, other] : db.tables) {
    if (other->schema_id != t.schema_id) continue;  // constraint names are unique per schema
    for (const auto& existing : other->keys)
      if (existing.k != key_constraint::kind::index && iequals(existing.name, k.name) &&
          k.k != key_constraint::kind::index)
        throw sql_error(2714, 16, 5,
                        "There is already an object named '" + k.name + "' in the database.");
  }
  for (const auto& existing : t.keys)
    if (iequals(existing.name, k.name))
      throw sql_error(1913, 16, 1,
                      "The operation failed because an index or statistics with name '" + k.name +
                          "' already exists on table '" + t.schema + "." + t.name + "'.");
  if (k.k == key_constraint::kind::primary)
    for (const auto& existing : t.keys)
      if (existing.k == key_constraint::kind::primary)
        throw sql_error(1779, 16, 0,
                        "Table '" + t.name + "' already has a primary key defined on it.");
  if (k.k != key_constraint::kind::index) {
    for (const auto& row : t.rows) {
      std::vector<value> values = decode_row(t, row);
      if (k.k == key_constraint::kind::primary)
        for (size_t c : k.columns)
          if (values[c].is_null())
            throw sql_error(8111, 16, 1,
                            "Cannot define PRIMARY KEY constraint on nullable column in table '" +
                                t.name + "'.");
      if (!k.keys.insert(encode_key(values, k.columns)).second) {
        throw sql_error(1505, 16, 1,
                        "The CREATE UNIQUE INDEX statement terminated because a duplicate key was "
                        "found for the object name '" +
                            t.schema + "." + t.name + "' and the index name '" + k.name +
                            "'. The duplicate key value is " + key_text(t, values, k.columns) +
                            ".");
      }
    }
  }
  t.keys.push_back(std::move(k));
}

void engine::create_index(database& db, table& t, const sql::key_def& k) {
  key_constraint kc;
  kc.name = k.name;
  kc.k = k.k == sql::key_def::kind::unique ? key_constraint::kind::unique
                                           : key_constraint::kind::index;
  kc.clustered = k.clustered;
  for (const auto& c : k.columns) {
    int i = t.find_column(c);
    if (i < 0)
      throw sql_error(1911, 16, 1,
                      "Column name '" + c + "' does not exist in the target table or view.");
    kc.columns.push_back(static_cast<size_t>(i));
  }
  for (const auto& existing : t.keys)
    if (iequals(existing.name, kc.name))
      throw sql_error(1913, 16, 1,
                      "The operation failed because an index or statistics with name '" + kc.name +
                          "' already exists on table '" + t.schema + "." + t.name + "'.");
  kc.from_index = true;
  add_key(db, t, std::move(kc));
}

void engine::add_constraint(database& db, table& t, const sql::key_def& k,
                            const std::string& default_schema) {
  auto resolve = [&](const table& tt, const std::vector<std::string>& names) {
    std::vector<size_t> out;
    for (const auto& n : names) {
      int i = tt.find_column(n);
      if (i < 0)
        throw sql_error(1911, 16, 1,
                        "Column name '" + n + "' does not exist in the target table or view.");
      out.push_back(static_cast<size_t>(i));
    }
    return out;
  };
  if (k.k == sql::key_def::kind::foreign) {
    table* parent = engine::resolve(db, k.ref_table, default_schema);
    std::string name =
        k.name.empty() ? "FK__" + t.name + "__" + std::to_string(next_object_id()) : k.name;
    if (!parent)
      throw sql_error(
          1767, 16, 0,
          "Foreign key '" + name + "' references invalid table '" + k.ref_table.name + "'.");
    foreign_key fk;
    fk.name = name;
    fk.columns = resolve(t, k.columns);
    fk.ref_object_id = parent->object_id;
    fk.actions = k.actions;
    if (k.ref_columns.empty()) {
      for (const auto& key : parent->keys)
        if (key.k == key_constraint::kind::primary) fk.ref_columns = key.columns;
    } else {
      fk.ref_columns = resolve(*parent, k.ref_columns);
    }
    const key_constraint* target = nullptr;
    for (const auto& key : parent->keys)
      if (key.k != key_constraint::kind::index && key.columns == fk.ref_columns) target = &key;
    if (!target || fk.ref_columns.size() != fk.columns.size())
      throw sql_error(1776, 16, 0,
                      "There are no primary or candidate keys in the referenced table '" +
                          parent->schema + "." + parent->name +
                          "' that match the referencing column list in the foreign key '" + name +
                          "'.");
    for (const auto& row : t.rows) {
      std::vector<value> values = decode_row(t, row);
      bool has_null = false;
      for (size_t c : fk.columns) has_null |= values[c].is_null();
      if (has_null) continue;
      std::vector<value> probe(parent->columns.size());
      for (size_t i = 0; i < fk.columns.size(); ++i)
        probe[fk.ref_columns[i]] = values[fk.columns[i]];
      if (!target->keys.count(encode_key(probe, fk.ref_columns)))
        throw sql_error(547, 16, 0,
                        "The ALTER TABLE statement conflicted with the FOREIGN KEY constraint \"" +
                            name + "\". The conflict occurred in database \"" + db.name +
                            "\", table \"" + parent->schema + "." + parent->name + "\", column '" +
                            parent->columns[fk.ref_columns[0]].name + "'.");
    }
    t.foreign_keys.push_back(std::move(fk));
    return;
  }
  key_constraint kc;
  kc.k = k.k == sql::key_def::kind::primary ? key_constraint::kind::primary
                                            : key_constraint::kind::unique;
  kc.clustered = k.clustered;
  kc.columns = resolve(t, k.columns);
  kc.name = k.name.empty() ? std::string(kc.k == key_constraint::kind::primary ? "PK__" : "UQ__") +
                                 t.name + "__" + std::to_string(next_object_id())
                           : k.name;
  if (kc.k == key_constraint::kind::primary)
    for (size_t c : kc.columns) {
      if (t.columns[c].nullable && !t.rows.empty())
        throw sql_error(
            8111, 16, 1,
            "Cannot define PRIMARY KEY constraint on nullable column in table '" + t.name + "'.");
      t.columns[c].nullable = false;
    }
  add_key(db, t, std::move(kc));
}

void engine::alter_column(database& db, table& t, const sql::column_def& c) {
  int idx = t.find_column(c.name);
  if (idx < 0)
    throw sql_error(4924, 16, 1,
                    "ALTER TABLE ALTER COLUMN failed because column '" + c.name +
                        "' does not exist in table '" + t.name + "'.");
  column& col = t.columns[static_cast<size_t>(idx)];
  for (const auto& k : t.keys)
    for (size_t kc : k.columns)
      if (kc == static_cast<size_t>(idx) && (c.type.is_long()))
        throw sql_error(5074, 16, 1,
                        "The index '" + k.name + "' is dependent on column '" + col.name + "'.");
  table copy_shape = t;  // columns only matter for encoding; rows rebuilt below
  copy_shape.rows.clear();
  column& target = copy_shape.columns[static_cast<size_t>(idx)];
  target.type = c.type;
  target.nullable = c.nullable.value_or(true);
  std::vector<std::string> rebuilt;
  rebuilt.reserve(t.rows.size());
  std::string qualified_name = qualified(db, t);
  for (const auto& row : t.rows) {
    std::vector<value> values = decode_row(t, row);
    value& v = values[static_cast<size_t>(idx)];
    if (v.is_null() && !target.nullable)
      throw sql_error(515, 16, 2,
                      "Cannot insert the value NULL into column '" + col.name + "', table '" +
                          qualified_name + "'; column does not allow nulls. UPDATE fails.");
    v = convert(v, c.type, qualified_name, col.name);
    rebuilt.push_back(encode_row(copy_shape, values));
  }
  col.type = target.type;
  col.nullable = target.nullable;
  if (col.has_default)
    col.default_value = convert(col.default_value, c.type, qualified_name, col.name);
  t.rows = std::move(rebuilt);
  // Keys over the column are encoded from its new type.
  for (auto& key : t.keys) {
    if (key.k == key_constraint::kind::index ||
        std::find(key.columns.begin(), key.columns.end(), static_cast<size_t>(idx)) ==
            key.columns.end())
      continue;
    key.keys.clear();
    for (const auto& row : t.rows) key.keys.insert(encode_key(decode_row(t, row), key.columns));
  }
}

void engine::insert_rows(database& db, table& t, std::vector<std::vector<value>>& rows,
                         bool identity_given) {
  batch b;
  try {
    for (auto& row : rows) add_row(db, t, b, row, identity_given);
  } catch (...) {
    rollback(t, b);
    throw;
  }
  commit(t, b);
}

void engine::add_row(database& db, table& t, batch& b, std::vector<value>& row, bool identity_given,
                     bool check_foreign_keys) {
  if (!b.started) {
    b.started = true;
    b.next_identity = t.identity_next;
    b.key_count = t.keys.size();
    b.qualified_name = qualified(db, t);
  }
  if (b.key_count != t.keys.size())
    throw sql_error(8115, 16, 1, "The table changed during the bulk load.");
  const std::string& qualified_name = b.qualified_name;
  int identity_col = -1;
  for (size_t i = 0; i < t.columns.size(); ++i)
    if (t.columns[i].identity) identity_col = static_cast<int>(i);
  if (identity_col >= 0) {
    auto ic_index = static_cast<size_t>(identity_col);
    const column& ic = t.columns[ic_index];
    if (!identity_given) {
      row[ic_index] = convert(value::integer(b.next_identity, type_id::bigint), ic.type,
                              qualified_name, ic.name);
      b.next_identity += ic.increment;
    } else if (!row[ic_index].is_null()) {
      const value& v = row[ic_index];
      int64_t given = v.k == value::kind::decimal ? static_cast<int64_t>(v.dec) : v.i;
      if (ic.increment > 0 ? given >= b.next_identity : given <= b.next_identity)
        b.next_identity = given + ic.increment;
    }
  }
  for (size_t i = 0; i < t.columns.size(); ++i)
    if (row[i].is_null() && !t.columns[i].nullable)
      throw sql_error(515, 16, 2,
                      "Cannot insert the value NULL into column '" + t.columns[i].name +
                          "', table '" + qualified_name +
                          "'; column does not allow nulls. INSERT fails.");
  // Keys go straight into the table's sets (one lookup each); a failed row takes its own keys back
  // at once and a failed batch all of its keys in rollback().
  std::vector<std::pair<size_t, std::unordered_set<std::string>::iterator>> inserted;
  auto undo = [&] {
    for (auto& [k, it] : inserted) t.keys[k].keys.erase(it);
  };
  for (size_t k = 0; k < t.keys.size(); ++k) {
    key_constraint& key = t.keys[k];
    if (key.k == key_constraint::kind::index) continue;
    auto [it, fresh] = key.keys.insert(encode_key(row, key.columns));
    if (!fresh) {
      undo();
      if (key.from_index)
        throw sql_error(2601, 14, 1,
                        "Cannot insert duplicate key row in object '" + t.schema + "." + t.name +
                            "' with unique index '" + key.name + "'. The duplicate key value is " +
                            key_text(t, row, key.columns) + ".");
      throw sql_error(2627, 14, 1,
                      std::string("Violation of ") +
                          (key.k == key_constraint::kind::primary ? "PRIMARY KEY" : "UNIQUE KEY") +
                          " constraint '" + key.name +
                          "'. Cannot insert duplicate key in object '" + t.schema + "." + t.name +
                          "'. The duplicate key value is " + key_text(t, row, key.columns) + ".");
    }
    inserted.emplace_back(k, it);
  }
  for (const auto& fk : t.foreign_keys) {
    if (!check_foreign_keys) break;
    bool has_null = false;
    for (size_t c : fk.columns) has_null |= row[c].is_null();
    if (has_null) continue;
    table* parent = db.find_id(fk.ref_object_id);
    bool found = false;
    if (parent) {
      std::vector<value> probe(parent->columns.size());
      for (size_t i = 0; i < fk.columns.size(); ++i) probe[fk.ref_columns[i]] = row[fk.columns[i]];
      std::string enc = encode_key(probe, fk.ref_columns);
      for (const auto& key : parent->keys)
        if (key.k != key_constraint::kind::index && key.columns == fk.ref_columns)
          found = found || key.keys.count(enc) > 0;
    }
    if (!found) {
      undo();
      throw sql_error(
          547, 16, 0,
          "The INSERT statement conflicted with the FOREIGN KEY constraint \"" + fk.name +
              "\". The conflict occurred in database \"" + db.name + "\", table \"" +
              (parent ? parent->schema + "." + parent->name : std::string()) + "\", column '" +
              (parent ? parent->columns[fk.ref_columns[0]].name : "") + "'.");
    }
  }
  b.rows.push_back(encode_row(t, row));
}

void engine::commit(table& t, batch& b) {
  if (!b.started) return;
  for (auto& r : b.rows) t.rows.push_back(std::move(r));
  t.identity_next = b.next_identity;
  b = batch{};
}

void engine::rollback(table& t, batch& b) {
  if (b.started && b.key_count == t.keys.size()) {
    for (const auto& r : b.rows) {
      std::vector<value> values = decode_row(t, r);
      for (auto& key : t.keys)
        if (key.k != key_constraint::kind::index) key.keys.erase(encode_key(values, key.columns));
    }
  }
  b = batch{};
}

}  // namespace tds
