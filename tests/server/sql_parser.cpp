#include "sql_parser.hpp"

#include <cctype>

#include "tds_text.hpp"

namespace tds::sql {
namespace {

[[noreturn]] void syntax_error(std::string_view near) {
  throw sql_error(102, 15, 1, "Incorrect syntax near '" + std::string(near) + "'.");
}

}  // namespace

namespace {

// Bounds the recursion of the parser: a batch of a million "(" must not exhaust the thread's stack.
class depth_guard final {
 public:
  explicit depth_guard(int& depth) : depth_(depth) {
    if (++depth_ > 128)
      throw sql_error(191, 15, 1,
                      "Some part of your SQL statement is nested too deeply. Rewrite the query or "
                      "break it up into smaller queries.");
  }
  ~depth_guard() { --depth_; }
  depth_guard(const depth_guard&) = delete;
  depth_guard& operator=(const depth_guard&) = delete;

 private:
  int& depth_;
};

class parser final {
 public:
  parser(std::string_view sql, bool quoted_identifier)
      : sql_(sql), toks_(tokenize(sql)), quoted_identifier_(quoted_identifier) {}
  bool quoted_identifier() const { return quoted_identifier_; }

  std::vector<std::unique_ptr<statement>> batch() {
    std::vector<std::unique_ptr<statement>> out;
    for (;;) {
      while (accept_op(";")) {
      }
      if (peek().kind == tok_kind::end) break;
      out.push_back(stmt());
      if (out.back()->k == statement::kind::create_schema && out.size() > 1)
        throw sql_error(111, 15, 1,
                        "'CREATE SCHEMA' must be the first statement in a query batch.");
    }
    return out;
  }

 private:
  const tok& peek(size_t ahead = 0) const {
    return toks_[std::min(pos_ + ahead, toks_.size() - 1)];
  }
  const tok& next() {
    const tok& t = toks_[pos_];
    if (pos_ + 1 < toks_.size()) ++pos_;
    return t;
  }
  [[noreturn]] void fail() {
    const tok& t = peek();
    if (t.kind == tok_kind::end) syntax_error(pos_ > 0 ? toks_[pos_ - 1].text : "");
    syntax_error(t.text);
  }
  bool is_kw(std::string_view kw, size_t ahead = 0) const {
    return peek(ahead).kind == tok_kind::ident && iequals(peek(ahead).text, kw);
  }
  bool accept(std::string_view kw) {
    if (!is_kw(kw)) return false;
    next();
    return true;
  }
  void expect(std::string_view kw) {
    if (!accept(kw)) fail();
  }
  bool is_op(std::string_view op, size_t ahead = 0) const {
    return peek(ahead).kind == tok_kind::op && peek(ahead).text == op;
  }
  bool accept_op(std::string_view op) {
    if (!is_op(op)) return false;
    next();
    return true;
  }
  void expect_op(std::string_view op) {
    if (!accept_op(op)) fail();
  }
  std::string ident() {
    if (peek().kind != tok_kind::ident && peek().kind != tok_kind::quoted_ident) fail();
    if (peek().double_quoted && !quoted_identifier_) fail();
    if (peek().double_quoted) check_identifier_length(peek().text);
    return next().text;
  }
  object_name object() {
    std::vector<std::string> parts{ident()};
    while (is_op(".")) {
      next();
      parts.push_back(is_op(".") ? std::string() : ident());
    }
    if (parts.size() > 3) fail();
    object_name o;
    o.name = parts.back();
    if (parts.size() >= 2) o.schema = parts[parts.size() - 2];
    if (parts.size() == 3) o.database = parts[0];
    return o;
  }
  std::vector<std::string> name_list() {
    std::vector<std::string> out;
    expect_op("(");
    do {
      out.push_back(ident());
      if (!accept("ASC")) accept("DESC");
    } while (accept_op(","));
    expect_op(")");
    return out;
  }
  int64_t integer() {
    bool neg = accept_op("-");
    if (peek().kind != tok_kind::number ||
        peek().text.find_first_not_of("0123456789") != std::string::npos)
      fail();
    int64_t v = std::stoll(next().text.substr(0, 18));
    return neg ? -v : v;
  }

  std::unique_ptr<statement> stmt() {
    depth_guard guard(depth_);
    size_t start = pos_;
    auto s = std::make_unique<statement>();
    if (accept("USE")) {
      s->k = statement::kind::use_db;
      s->name = ident();
    } else if (accept("CREATE")) {
      create(*s);
    } else if (accept("DROP")) {
      if (accept("DATABASE")) {
        s->k = statement::kind::drop_db;
        s->flag = if_exists();
        s->name = ident();
      } else if (accept("TABLE")) {
        s->k = statement::kind::drop_table;
        s->flag = if_exists();
        s->object = object();
      } else {
        fail();
      }
    } else if (accept("ALTER")) {
      alter(*s);
    } else if (accept("SET")) {
      set(*s);
    } else if (is_kw("INSERT") && is_kw("BULK", 1)) {
      next();
      next();
      insert_bulk(*s);
    } else if (accept("INSERT")) {
      insert(*s);
    } else if (is_kw("SELECT")) {
      s->k = statement::kind::select;
      s->select = select();
    } else if (accept("EXEC") || accept("EXECUTE")) {
      exec(*s);
    } else if (accept("IF")) {
      s->k = statement::kind::if_stmt;
      s->condition = condition();
      s->then_branch.push_back(stmt());
      if (accept("ELSE")) s->else_branch.push_back(stmt());
    } else if (accept("BEGIN")) {
      if (accept("TRANSACTION") || accept("TRAN")) {
        s->k = statement::kind::noop;
      } else {
        fail();
      }
    } else if (accept("COMMIT") || accept("ROLLBACK")) {
      if (!accept("TRANSACTION")) accept("TRAN");
      s->k = statement::kind::noop;
    } else {
      fail();
    }
    size_t end = pos_ > start ? toks_[pos_ - 1].end : toks_[start].end;
    s->text = std::string(sql_.substr(toks_[start].begin, end - toks_[start].begin));
    return s;
  }

  bool if_exists() {
    if (is_kw("IF") && is_kw("EXISTS", 1)) {
      next();
      next();
      return true;
    }
    return false;
  }

  void create(statement& s) {
    if (accept("DATABASE")) {
      s.k = statement::kind::create_db;
      s.name = ident();
      return;
    }
    if (accept("SCHEMA")) {
      s.k = statement::kind::create_schema;
      s.name = ident();
      if (accept("AUTHORIZATION")) s.login = ident();
      return;
    }
    if (accept("USER")) {
      s.k = statement::kind::create_user;
      s.name = ident();
      s.login = s.name;
      if (accept("FOR") || accept("FROM")) {
        expect("LOGIN");
        s.login = ident();
      } else if (accept("WITHOUT")) {
        expect("LOGIN");
        s.login.clear();
      }
      if (accept("WITH")) s.default_schema = default_schema_option();
      return;
    }
    if (accept("TABLE")) {
      s.k = statement::kind::create_table;
      s.object = object();
      expect_op("(");
      do {
        if (is_kw("CONSTRAINT") || is_kw("PRIMARY") || is_kw("UNIQUE") || is_kw("FOREIGN"))
          s.keys.push_back(table_constraint());
        else
          s.columns.push_back(column(true));
      } while (accept_op(","));
      expect_op(")");
      storage_options();
      return;
    }
    key_def index;
    index.k = key_def::kind::index;
    bool unique = accept("UNIQUE");
    if (accept("CLUSTERED"))
      index.clustered = true;
    else
      accept("NONCLUSTERED");
    expect("INDEX");
    if (unique) index.k = key_def::kind::unique;
    index.name = ident();
    expect("ON");
    s.k = statement::kind::create_index;
    s.object = object();
    index.columns = name_list();
    s.keys.push_back(std::move(index));
    storage_options();
  }

  // WITH (index options), ON [filegroup] and TEXTIMAGE_ON [filegroup]: accepted and ignored, since
  // generated DDL often carries them.
  void storage_options() {
    for (;;) {
      if (accept("WITH")) {
        skip_parens();
      } else if ((is_kw("ON") || is_kw("TEXTIMAGE_ON")) &&
                 (peek(1).kind == tok_kind::ident || peek(1).kind == tok_kind::quoted_ident) &&
                 !is_reserved(peek(1).text)) {
        next();
        next();
      } else {
        return;
      }
    }
  }

  void skip_parens() {
    expect_op("(");
    int depth = 1;
    while (depth > 0) {
      if (peek().kind == tok_kind::end) fail();
      if (is_op("(")) ++depth;
      if (is_op(")")) --depth;
      next();
    }
  }

  // In CAST and CONVERT a character or binary type without a length has 30, elsewhere 1.
  sql_type type(bool in_cast = false) {
    std::string name = ident();
    auto id = type_from_name(name);
    if (!id)
      throw sql_error(2715, 16, 6,
                      "Column, parameter, or variable #1: Cannot find data type " + name + ".");
    sql_type t = default_type(*id);
    if (in_cast && (t.is_string() || t.is_binary()) && !t.is_long()) t.length = 30;
    if (accept_op("(")) {
      if (accept("MAX")) {
        if (t.id != type_id::varchar && t.id != type_id::nvarchar && t.id != type_id::varbinary)
          fail();
        t.length = k_max_length;
      } else {
        int64_t a = integer();
        if (t.is_string() || t.is_binary()) {
          int64_t limit = t.is_unicode() ? 4000 : 8000;
          if (a < 1 || a > limit)
            throw sql_error(
                a < 1 ? 1001 : 131, 15, 2,
                a < 1
                    ? "Line 1: Length or precision specification 0 is invalid."
                    : "The size (" + std::to_string(a) +
                          ") given to the column exceeds the maximum allowed for any data type (" +
                          std::to_string(limit) + ").");
          t.length = static_cast<int32_t>(a);
        } else if (t.id == type_id::decimal || t.id == type_id::numeric) {
          if (a < 1 || a > 38)
            throw sql_error(2750, 16, 1,
                            "Column or parameter #1: Specified column precision " +
                                std::to_string(a) +
                                " is greater than the maximum precision of 38.");
          t.precision = static_cast<uint8_t>(a);
          t.scale = 0;
          if (accept_op(",")) {
            int64_t sc = integer();
            if (sc < 0 || sc > a)
              throw sql_error(183, 15, 1,
                              "The scale (" + std::to_string(sc) +
                                  ") for column '' must be within the range 0 to " +
                                  std::to_string(a) + ".");
            t.scale = static_cast<uint8_t>(sc);
          }
        } else if (t.id == type_id::datetime2 || t.id == type_id::time) {
          if (a < 0 || a > 7) fail();
          t.scale = static_cast<uint8_t>(a);
        } else if (t.id == type_id::float_) {
          if (a < 1 || a > 53) fail();
          if (a <= 24) t.id = type_id::real;
        } else {
          fail();
        }
      }
      expect_op(")");
    }
    return t;
  }

  column_def column(bool allow_constraints) {
    column_def c;
    c.name = ident();
    c.type = type();
    for (;;) {
      if (accept("COLLATE")) {
        ident();
      } else if (accept("IDENTITY")) {
        c.identity = true;
        if (accept_op("(")) {
          c.seed = integer();
          expect_op(",");
          c.increment = integer();
          expect_op(")");
        }
      } else if (accept("NOT")) {
        expect("NULL");
        c.nullable = false;
      } else if (accept("NULL")) {
        c.nullable = true;
      } else if (allow_constraints &&
                 (is_kw("CONSTRAINT") || is_kw("DEFAULT") || is_kw("PRIMARY") || is_kw("UNIQUE"))) {
        std::string name;
        if (accept("CONSTRAINT")) name = ident();
        if (accept("DEFAULT")) {
          size_t b = peek().begin;
          c.default_value = expression();
          std::string written(sql_.substr(b, toks_[pos_ - 1].end - b));
          // SQL Server keeps a default as ((number)) or ('text') however many parentheses were
          // written.
          while (written.size() >= 2 && written.front() == '(' && written.back() == ')')
            written = written.substr(1, written.size() - 2);
          bool is_text = c.default_value->k == expr::kind::literal &&
                         c.default_value->literal.k == value::kind::string;
          c.default_text = is_text ? "(" + written + ")" : "((" + written + "))";
        } else if (accept("PRIMARY")) {
          expect("KEY");
          c.primary_key = true;
          c.constraint_name = name;
          c.clustered = !accept("NONCLUSTERED");
          accept("CLUSTERED");
        } else if (accept("UNIQUE")) {
          c.unique = true;
          c.constraint_name = name;
          accept("CLUSTERED");
          accept("NONCLUSTERED");
        } else {
          fail();
        }
      } else {
        break;
      }
    }
    return c;
  }

  key_def table_constraint() {
    key_def k;
    if (accept("CONSTRAINT")) k.name = ident();
    if (accept("PRIMARY")) {
      expect("KEY");
      k.k = key_def::kind::primary;
      k.clustered = true;
      if (accept("NONCLUSTERED")) k.clustered = false;
      accept("CLUSTERED");
      k.columns = name_list();
      storage_options();
    } else if (accept("UNIQUE")) {
      k.k = key_def::kind::unique;
      if (accept("CLUSTERED")) k.clustered = true;
      accept("NONCLUSTERED");
      k.columns = name_list();
      storage_options();
    } else if (accept("FOREIGN")) {
      expect("KEY");
      k.k = key_def::kind::foreign;
      k.columns = name_list();
      expect("REFERENCES");
      k.ref_table = object();
      if (is_op("(")) k.ref_columns = name_list();
      size_t b = peek().begin;
      while (accept("ON")) {
        if (!accept("DELETE")) expect("UPDATE");
        if (accept("NO"))
          expect("ACTION");
        else if (accept("CASCADE")) {
        } else if (accept("SET")) {
          if (!accept("NULL")) expect("DEFAULT");
        } else
          fail();
      }
      if (peek().begin > b) k.actions = std::string(sql_.substr(b, toks_[pos_ - 1].end - b));
    } else {
      fail();
    }
    return k;
  }

  // DEFAULT_SCHEMA = name, after WITH.
  std::string default_schema_option() {
    if (!is_kw("DEFAULT_SCHEMA")) fail();
    next();
    expect_op("=");
    return ident();
  }

  void alter(statement& s) {
    if (accept("USER")) {
      s.k = statement::kind::alter_user;
      s.name = ident();
      expect("WITH");
      s.default_schema = default_schema_option();
      return;
    }
    expect("TABLE");
    s.object = object();
    if (accept("ALTER")) {
      expect("COLUMN");
      s.k = statement::kind::alter_column;
      s.columns.push_back(column(false));
    } else if (accept("ADD")) {
      s.k = statement::kind::add_constraint;
      if (!is_kw("CONSTRAINT") && !is_kw("PRIMARY") && !is_kw("UNIQUE") && !is_kw("FOREIGN"))
        fail();
      s.keys.push_back(table_constraint());
    } else if (accept("WITH")) {
      if (!accept("CHECK")) expect("NOCHECK");
      expect("ADD");
      s.k = statement::kind::add_constraint;
      s.keys.push_back(table_constraint());
    } else {
      fail();
    }
  }

  void set(statement& s) {
    if (accept("IDENTITY_INSERT")) {
      s.k = statement::kind::set_identity_insert;
      s.object = object();
      s.flag = on_off();
      return;
    }
    if (peek().kind != tok_kind::ident) fail();
    s.k = statement::kind::set_option;
    s.name = fold_case(next().text);
    bool quoted_identifier = s.name == "QUOTED_IDENTIFIER";
    while (accept_op(",")) quoted_identifier |= fold_case(ident()) == "QUOTED_IDENTIFIER";
    if (s.name == "TEXTSIZE" || s.name == "ROWCOUNT" || s.name == "LOCK_TIMEOUT") {
      integer();
    } else if (s.name == "LANGUAGE" || s.name == "DATEFORMAT" || s.name == "DEADLOCK_PRIORITY") {
      if (peek().kind == tok_kind::end) fail();
      next();
    } else if (s.name == "TRANSACTION") {
      expect("ISOLATION");
      expect("LEVEL");
      while (peek().kind == tok_kind::ident && !is_kw("SET") && !is_kw("SELECT")) next();
    } else {
      s.flag = on_off();
      if (quoted_identifier) quoted_identifier_ = s.flag;
    }
  }

  bool on_off() {
    if (accept("ON")) return true;
    if (accept("OFF")) return false;
    fail();
  }

  void insert(statement& s) {
    accept("INTO");
    s.k = statement::kind::insert;
    s.object = object();
    if (is_op("(")) {
      expect_op("(");
      do s.insert_columns.push_back(ident());
      while (accept_op(","));
      expect_op(")");
    }
    if (is_kw("SELECT")) {
      s.select = select();
      return;
    }
    expect("VALUES");
    do {
      expect_op("(");
      std::vector<expr_ptr> row;
      do row.push_back(expression());
      while (accept_op(","));
      expect_op(")");
      s.rows.push_back(std::move(row));
    } while (accept_op(","));
  }

  void insert_bulk(statement& s) {
    s.k = statement::kind::insert_bulk;
    s.object = object();
    if (accept_op("(")) {
      do {
        column_def c;
        c.name = ident();
        c.type = type();
        while (accept("COLLATE") || accept("NULL")) {
          if (peek().kind == tok_kind::ident && !is_kw("NULL")) next();
        }
        s.columns.push_back(std::move(c));
      } while (accept_op(","));
      expect_op(")");
    }
    if (accept("WITH")) skip_parens();
  }

  void exec(statement& s) {
    object_name proc = object();
    if (!iequals(proc.name, "sp_columns"))
      throw sql_error(2812, 16, 62, "Could not find stored procedure '" + proc.name + "'.");
    s.k = statement::kind::exec_sp_columns;
    int positional = 0;
    do {
      std::string param;
      if (peek().kind == tok_kind::variable) {
        param = fold_case(next().text);
        expect_op("=");
      } else {
        param = positional == 0 ? "@TABLE_NAME" : positional == 1 ? "@TABLE_OWNER" : "@OTHER";
      }
      ++positional;
      std::string v;
      if (peek().kind == tok_kind::string || peek().kind == tok_kind::nstring ||
          peek().kind == tok_kind::ident || peek().kind == tok_kind::quoted_ident)
        v = next().text;
      else
        fail();
      if (param == "@TABLE_NAME")
        s.sp_table = v;
      else if (param == "@TABLE_OWNER")
        s.sp_owner = v;
    } while (accept_op(","));
  }

  std::unique_ptr<select_stmt> select() {
    depth_guard guard(depth_);
    expect("SELECT");
    auto q = std::make_unique<select_stmt>();
    if (accept("TOP")) {
      bool paren = accept_op("(");
      q->top = integer();
      if (paren) expect_op(")");
    }
    do {
      select_item item;
      size_t b = peek().begin;
      if (is_op("*")) {
        next();
        item.e = std::make_unique<expr>();
        item.e->k = expr::kind::star;
      } else {
        item.e = expression();
      }
      item.e->source_text = std::string(sql_.substr(b, toks_[pos_ - 1].end - b));
      if (accept("AS")) {
        item.alias = peek().kind == tok_kind::string ? next().text : ident();
      } else if (peek().kind == tok_kind::quoted_ident ||
                 (peek().kind == tok_kind::ident && !is_reserved(peek().text))) {
        item.alias = next().text;
      }
      q->items.push_back(std::move(item));
    } while (accept_op(","));
    if (accept("FROM")) {
      q->from.push_back(from_source());
      for (;;) {
        if (accept_op(",")) {
          q->from.push_back(from_source());
          continue;
        }
        bool left = false;
        if (accept("LEFT")) {
          left = true;
          accept("OUTER");
        } else {
          accept("INNER");
        }
        if (!accept("JOIN")) {
          if (left) fail();
          break;
        }
        from_item item = from_source();
        item.left_join = left;
        expect("ON");
        item.on = condition();
        q->from.push_back(std::move(item));
      }
    }
    if (accept("WHERE")) q->where = condition();
    if (accept("ORDER")) {
      expect("BY");
      do {
        order_item o;
        o.e = expression();
        if (accept("DESC"))
          o.descending = true;
        else
          accept("ASC");
        q->order_by.push_back(std::move(o));
      } while (accept_op(","));
    }
    return q;
  }

  from_item from_source() {
    from_item item;
    if (accept_op("(")) {
      item.subquery = select();
      expect_op(")");
      accept("AS");
      item.alias = ident();
      return item;
    }
    item.table = object();
    if (accept("AS"))
      item.alias = ident();
    else if (peek().kind == tok_kind::quoted_ident ||
             (peek().kind == tok_kind::ident && !is_reserved(peek().text)))
      item.alias = next().text;
    if (accept("WITH")) skip_parens();
    return item;
  }

  static bool is_reserved(std::string_view w) {
    static const char* words[] = {
        "FROM",   "WHERE",  "ORDER", "GROUP", "UNION",  "SELECT",  "INSERT",  "UPDATE", "DELETE",
        "CREATE", "DROP",   "ALTER", "SET",   "USE",    "EXEC",    "EXECUTE", "IF",     "ELSE",
        "BEGIN",  "END",    "AND",   "OR",    "NOT",    "ON",      "AS",      "WITH",   "INTO",
        "VALUES", "HAVING", "JOIN",  "INNER", "LEFT",   "RIGHT",   "OUTER",   "FULL",   "CROSS",
        "IS",     "NULL",   "LIKE",  "IN",    "COMMIT", "ROLLBACK"};
    for (const char* word : words)
      if (iequals(w, word)) return true;
    return false;
  }

  expr_ptr condition() {
    expr_ptr left = conjunction();
    while (accept("OR")) {
      auto e = std::make_unique<expr>();
      e->k = expr::kind::logical_or;
      e->args.push_back(std::move(left));
      e->args.push_back(conjunction());
      left = std::move(e);
    }
    return left;
  }
  expr_ptr conjunction() {
    expr_ptr left = negation();
    while (accept("AND")) {
      auto e = std::make_unique<expr>();
      e->k = expr::kind::logical_and;
      e->args.push_back(std::move(left));
      e->args.push_back(negation());
      left = std::move(e);
    }
    return left;
  }
  expr_ptr negation() {
    depth_guard guard(depth_);
    if (accept("NOT")) {
      auto e = std::make_unique<expr>();
      e->k = expr::kind::logical_not;
      e->args.push_back(negation());
      return e;
    }
    if (accept("EXISTS")) {
      expect_op("(");
      auto e = std::make_unique<expr>();
      e->k = expr::kind::subquery_exists;
      e->subquery = select();
      expect_op(")");
      return e;
    }
    if (is_op("(") && (is_kw("NOT", 1) || is_kw("EXISTS", 1) || looks_like_condition())) {
      next();
      expr_ptr inner = condition();
      expect_op(")");
      return inner;
    }
    return predicate();
  }
  // Tells "(a = 1 OR b = 2)" from "(1) = 1" by scanning the parenthesised tokens for a comparison
  // or logical word at depth one.
  bool looks_like_condition() const {
    int depth = 0;
    for (size_t i = pos_; i < toks_.size(); ++i) {
      const tok& t = toks_[i];
      if (t.kind == tok_kind::op && t.text == "(")
        ++depth;
      else if (t.kind == tok_kind::op && t.text == ")") {
        if (--depth == 0) return false;
      } else if (depth == 1 &&
                 ((t.kind == tok_kind::op &&
                   (t.text == "=" || t.text == "<" || t.text == ">" || t.text == "<>" ||
                    t.text == "!=" || t.text == "<=" || t.text == ">=")) ||
                  (t.kind == tok_kind::ident &&
                   (iequals(t.text, "AND") || iequals(t.text, "OR") || iequals(t.text, "IS") ||
                    iequals(t.text, "LIKE") || iequals(t.text, "IN")))))
        return true;
    }
    return false;
  }
  expr_ptr predicate() {
    expr_ptr left = expression();
    auto e = std::make_unique<expr>();
    if (accept("IS")) {
      e->k = expr::kind::is_null;
      e->negated = accept("NOT");
      expect("NULL");
      e->args.push_back(std::move(left));
      return e;
    }
    bool negated = accept("NOT");
    if (accept("LIKE")) {
      e->k = expr::kind::like;
    } else if (accept("IN")) {
      e->k = expr::kind::in_list;
      e->args.push_back(std::move(left));
      expect_op("(");
      do e->args.push_back(expression());
      while (accept_op(","));
      expect_op(")");
      e->negated = negated;
      return e;
    } else if (negated) {
      fail();
    } else if (peek().kind == tok_kind::op &&
               (peek().text == "=" || peek().text == "<>" || peek().text == "!=" ||
                peek().text == "<" || peek().text == ">" || peek().text == "<=" ||
                peek().text == ">=")) {
      e->k = expr::kind::compare;
      e->name = next().text;
    } else {
      fail();
    }
    e->negated = negated;
    e->args.push_back(std::move(left));
    e->args.push_back(expression());
    return e;
  }

  expr_ptr expression() {
    if (accept_op("-")) {
      expr_ptr inner = primary();
      if (inner->k == expr::kind::literal) {
        value& v = inner->literal;
        if (v.k == value::kind::integer)
          v.i = -v.i;
        else if (v.k == value::kind::decimal)
          v.dec = -v.dec;
        else if (v.k == value::kind::real)
          v.f = -v.f;
        else
          fail();
        return inner;
      }
      auto e = std::make_unique<expr>();
      e->k = expr::kind::unary_minus;
      e->args.push_back(std::move(inner));
      return e;
    }
    accept_op("+");
    return primary();
  }

  expr_ptr primary() {
    depth_guard guard(depth_);
    auto e = std::make_unique<expr>();
    const tok& t = peek();
    switch (t.kind) {
      case tok_kind::number: {
        std::string text = next().text;
        if (text.find_first_of("eE") != std::string::npos) {
          e->literal = value::real(std::strtod(text.c_str(), nullptr));
        } else if (text.find('.') == std::string::npos && text.size() <= 18 &&
                   std::stoll(text) <= INT32_MAX) {
          e->literal = value::integer(std::stoll(text));
        } else {
          value d = convert(value::string(text, false),
                            sql_type{type_id::numeric, 0, 38,
                                     static_cast<uint8_t>(text.find('.') == std::string::npos
                                                              ? 0
                                                              : text.size() - text.find('.') - 1)});
          d.origin = type_id::numeric;
          e->literal = d;
        }
        return e;
      }
      case tok_kind::string:
        e->literal = value::string(next().text, false);
        return e;
      case tok_kind::nstring:
        e->literal = value::string(next().text, true);
        return e;
      case tok_kind::binary: {
        std::string hex = next().text;
        if (hex.size() % 2) hex.insert(hex.begin(), '0');
        std::string bytes;
        for (size_t i = 0; i < hex.size(); i += 2)
          bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
        e->literal = value::binary(bytes);
        return e;
      }
      case tok_kind::variable:
        e->k = expr::kind::variable;
        e->name = fold_case(next().text);
        return e;
      case tok_kind::op:
        if (t.text == "(") {
          next();
          if (is_kw("SELECT")) fail();
          expr_ptr inner = expression();
          expect_op(")");
          return inner;
        }
        fail();
      case tok_kind::ident:
        if (iequals(t.text, "NULL")) {
          next();
          return e;
        }
        if (is_reserved(t.text)) fail();
        [[fallthrough]];
      case tok_kind::quoted_ident: {
        if (t.double_quoted && !quoted_identifier_) {
          e->literal = value::string(next().text, false);
          return e;
        }
        bool plain = t.kind == tok_kind::ident;
        std::string first = next().text;
        if (plain && is_op("(")) {
          next();
          e->k = expr::kind::function;
          e->name = first;
          for (char& ch : e->name)
            ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
          if (e->name == "cast") {
            e->args.push_back(expression());
            expect("AS");
            e->target = type(true);
            expect_op(")");
            return e;
          }
          if (e->name == "convert") {
            e->target = type(true);
            expect_op(",");
            e->args.push_back(expression());
            if (accept_op(",")) e->args.push_back(expression());  // style: ISO forms are used
            expect_op(")");
            return e;
          }
          if (accept_op("*")) {
            auto star = std::make_unique<expr>();
            star->k = expr::kind::star;
            e->args.push_back(std::move(star));
          } else if (!is_op(")")) {
            do e->args.push_back(expression());
            while (accept_op(","));
          }
          expect_op(")");
          return e;
        }
        e->k = expr::kind::column;
        e->name = first;
        while (accept_op(".")) {
          e->qualifier = e->name;
          if (accept_op("*")) {
            e->k = expr::kind::star;
            return e;
          }
          e->name = ident();
        }
        return e;
      }
      default:
        fail();
    }
  }

  std::string_view sql_;
  std::vector<tok> toks_;
  size_t pos_ = 0;
  int depth_ = 0;
  bool quoted_identifier_;
};

}  // namespace

std::vector<std::unique_ptr<statement>> parse_batch(std::string_view sql, bool& quoted_identifier) {
  parser p(sql, quoted_identifier);
  auto out = p.batch();
  quoted_identifier = p.quoted_identifier();
  return out;
}

}  // namespace tds::sql
