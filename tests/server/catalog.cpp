#include "catalog.hpp"
#include "catalog_internal.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>

#include "tds_text.hpp"

namespace tds {

namespace catalog_detail {

// Iterative, with one backtrack point per %, so neither long values nor many %
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

}  // namespace catalog_detail

namespace {

using namespace catalog_detail;

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

bool is_aggregate(const sql::expr& e) {
  return e.k == sql::expr::kind::function &&
         (e.name == "count" || e.name == "count_big" || e.name == "min" || e.name == "max" ||
          e.name == "sum" || e.name == "avg");
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

}  // namespace

database* catalog::db_named(const std::string& name) {
  return engine_.find_db(name.empty() ? db_ : name);
}

std::string catalog::default_schema(const database& d) const {
  std::optional<principal> p = engine::principal_of(d, user_);
  return p ? p->default_schema : "dbo";
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
  table* t = db ? engine::resolve(*db, name, default_schema(*db)) : nullptr;
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
        if (parts.empty() || parts.size() > 3) return value::null();
        sql::object_name object;
        object.name = parts.back();
        if (parts.size() >= 2) object.schema = parts[parts.size() - 2];
        database* d = parts.size() == 3 ? engine_.find_db(parts[0]) : db_named("");
        table* t = d ? engine::resolve(*d, object, default_schema(*d)) : nullptr;
        return t ? value::integer(t->object_id) : value::null();
      }
      if (e.name == "suser_sname" || e.name == "suser_name") return text(user_);
      if (e.name == "user_name" || e.name == "current_user") {
        database* d = db_named("");
        std::optional<principal> p = d ? engine::principal_of(*d, user_) : std::nullopt;
        return p ? text(p->user) : value::null();
      }
      if (e.name == "schema_name") {
        database* d = db_named("");
        if (!d || (!args.empty() && args[0].is_null())) return value::null();
        if (args.empty()) return text(default_schema(*d));
        const schema_info* sc =
            d->find_schema(static_cast<int32_t>(std::atoll(arg_text(0).c_str())));
        return sc ? text(sc->name) : value::null();
      }
      if (e.name == "schema_id") {
        database* d = db_named("");
        if (!d || (!args.empty() && args[0].is_null())) return value::null();
        const schema_info* sc = d->find_schema(args.empty() ? default_schema(*d) : arg_text(0));
        return sc ? value::integer(sc->id) : value::null();
      }
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

}  // namespace tds
