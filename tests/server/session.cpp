#include "session.hpp"

#include <algorithm>
#include <stdexcept>

#include "catalog.hpp"
#include "tds_text.hpp"

namespace tds {
namespace {

constexpr size_t k_max_message = 16u << 20;  // an SQL batch or LOGIN7 larger than this is refused
constexpr const char* k_server_name = "TESSALY-TEST";

// Errors after which SQL Server adds the informational "The statement has been terminated.".
bool ends_the_statement(int number) {
  for (int n : {2627, 2601, 515, 547, 2628, 8152, 8115, 220, 242, 544, 545})
    if (n == number) return true;
  return false;
}

bool is_batch_aborting(int number) {
  // Conversion failures end the whole batch in SQL Server; constraint violations only the
  // statement.
  return number == 245 || number == 8114 || number == 241 || number == 8169 || number == 206 ||
         number == 257 || number == 235 || number == 244 || number == 102 || number == 105;
}

}  // namespace

void server_config::log_statement(std::string_view text) {
  if (!log) return;
  std::string line(text);
  std::replace(line.begin(), line.end(), '\n', ' ');
  std::replace(line.begin(), line.end(), '\r', ' ');
  std::lock_guard<std::mutex> lock(log_mutex);
  std::fprintf(log, "%s\n", line.c_str());
  std::fflush(log);
}

session::session(byte_stream& io, engine& db, server_config& config, int spid)
    : io_(io), engine_(db), config_(config), spid_(spid) {}

bool session::read_packet(packet& p) {
  char header[k_header_size];
  if (!io_.read(header, k_header_size)) return false;
  reader h(std::string_view(header, k_header_size));
  p.type = h.u8();
  uint8_t status = h.u8();
  uint16_t length = h.u16_be();
  p.eom = (status & 0x01) != 0;
  if (length < k_header_size || length > k_max_packet_size + 1)
    throw protocol_error("bad packet length");
  p.payload.resize(length - k_header_size);
  if (!p.payload.empty() && !io_.read(p.payload.data(), p.payload.size()))
    throw protocol_error("truncated packet");
  return true;
}

bool session::read_message(uint8_t& type, std::string& payload) {
  packet p;
  if (!read_packet(p)) return false;
  type = p.type;
  payload = std::move(p.payload);
  if (type == pkt_bulk) {
    bulk(packet{type, p.eom, std::move(payload)});
    payload.clear();
    type = 0;
    return true;
  }
  while (!p.eom) {
    if (!read_packet(p)) throw protocol_error("connection closed inside a message");
    if (p.type != type && p.type != pkt_attention)
      throw protocol_error("packet type changed inside a message");
    if (payload.size() + p.payload.size() > k_max_message)
      throw protocol_error("message too large");
    payload += p.payload;
  }
  return true;
}

void session::send(uint8_t type, const std::string& data) {
  size_t chunk = packet_size_ - k_header_size;
  size_t pos = 0;
  uint8_t id = 1;
  std::string pkt;
  do {
    size_t n = std::min(chunk, data.size() - pos);
    bool last = pos + n >= data.size();
    pkt.clear();
    writer w(pkt);
    w.u8(type);
    w.u8(last ? 1 : 0);
    uint16_t len = static_cast<uint16_t>(n + k_header_size);
    w.u8(static_cast<uint8_t>(len >> 8));
    w.u8(static_cast<uint8_t>(len & 0xFF));
    w.u8(static_cast<uint8_t>(spid_ >> 8));
    w.u8(static_cast<uint8_t>(spid_ & 0xFF));
    w.u8(id++);
    w.u8(0);
    w.raw(std::string_view(data).substr(pos, n));
    io_.write(pkt.data(), pkt.size());
    pos += n;
  } while (pos < data.size());
}

void session::run() {
  uint8_t type = 0;
  std::string payload;
  while (read_message(type, payload)) {
    switch (type) {
      case 0:
        break;  // a bulk load, already answered
      case pkt_prelogin:
        if (logged_in_) throw protocol_error("PRELOGIN after login");
        parse_prelogin(payload);
        send(pkt_reply, prelogin_response());
        break;
      case pkt_login7:
        if (logged_in_) throw protocol_error("second LOGIN7");
        login(payload);
        break;
      case pkt_sql_batch:
        if (!logged_in_) throw protocol_error("SQL batch before login");
        batch(parse_sql_batch(payload));
        break;
      case pkt_attention: {
        // Requests run to completion before the next read, so only the acknowledgement is left to
        // send.
        std::string out;
        write_done(out, tok_done, done_attn, 0, 0);
        send(pkt_reply, out);
        break;
      }
      case pkt_rpc: {
        std::string out;
        message(out, true, 2812, 62, 16, "Could not find stored procedure ''.");
        write_done(out, tok_doneproc, done_error, 0, 0);
        send(pkt_reply, out);
        break;
      }
      case pkt_transaction: {
        std::string out;
        write_done(out, tok_done, done_final, 0, 0);
        send(pkt_reply, out);
        break;
      }
      default:
        throw protocol_error("unexpected packet type");
    }
  }
}

void session::message(std::string& out, bool error, int number, int state, int cls,
                      const std::string& text) {
  write_message(out, error, number, state, cls, text, k_server_name, "", 1);
}

void session::login(const std::string& payload) {
  login_request req = parse_login7(payload);
  std::string out;
  auto it = config_.logins.find(fold_case(req.user));
  if (it == config_.logins.end() || it->second != req.password) {
    message(out, true, 18456, 1, 14, "Login failed for user '" + req.user + "'.");
    write_done(out, tok_done, done_error, 0, 0);
    send(pkt_reply, out);
    return;
  }
  std::string wanted = req.database.empty() ? "master" : req.database;
  {
    std::lock_guard<std::mutex> lock(engine_.mutex());
    database* d = engine_.find_db(wanted);
    // A login without a user in its initial database is refused like a missing database.
    if (!d || !engine::principal_of(*d, req.user)) {
      message(out, true, 4060, 1, 11,
              "Cannot open database \"" + wanted + "\" requested by the login. The login failed.");
      message(out, true, 18456, 1, 14, "Login failed for user '" + req.user + "'.");
      write_done(out, tok_done, done_error, 0, 0);
      send(pkt_reply, out);
      return;
    }
    db_ = d->name;
  }
  user_ = req.user;
  if (req.packet_size >= 512 && req.packet_size <= k_max_packet_size)
    packet_size_ = req.packet_size;
  write_env_string(out, 1, db_, "master");
  message(out, false, 5701, 2, 0, "Changed database context to '" + db_ + "'.");
  write_env_collation(out);
  write_env_string(out, 2, "us_english", "");
  message(out, false, 5703, 1, 0, "Changed language setting to us_english.");
  write_loginack(out, "Microsoft SQL Server", 0x0F0007D0, req.tds_version);
  write_env_string(out, 4, std::to_string(packet_size_), std::to_string(packet_size_));
  write_done(out, tok_done, done_final, 0, 0);
  send(pkt_reply, out);
  logged_in_ = true;
}

std::string session::default_schema(const database& d) const {
  std::optional<principal> p = engine::principal_of(d, user_);
  return p ? p->default_schema : "dbo";
}

table* session::find_table(database& d, const sql::object_name& name) const {
  return engine::resolve(d, name, default_schema(d));
}

database& session::db_of(const sql::object_name& name) {
  if (name.database.empty()) return current_db();
  database* d = engine_.find_db(name.database);
  if (!d)
    throw sql_error(911, 16, 1,
                    "Database '" + name.database +
                        "' does not exist. Make sure that the name is entered correctly.");
  return *d;
}

database& session::current_db() {
  database* d = engine_.find_db(db_);
  if (!d)
    throw sql_error(
        911, 16, 1,
        "Database '" + db_ + "' does not exist. Make sure that the name is entered correctly.");
  return *d;
}

void session::batch(const std::string& sql) {
  std::string out;
  std::vector<std::unique_ptr<sql::statement>> statements;
  try {
    statements = sql::parse_batch(sql, quoted_identifier_);
  } catch (const sql_error& e) {
    config_.log_statement(sql);
    message(out, true, e.number, e.state, e.cls, e.what());
    write_done(out, tok_done, done_error, 0, 0);
    send(pkt_reply, out);
    return;
  }
  if (statements.empty()) {
    write_done(out, tok_done, done_final, 0, 0);
    send(pkt_reply, out);
    return;
  }
  bool abort = false;
  for (size_t i = 0; i < statements.size() && !abort; ++i) {
    config_.log_statement(statements[i]->text);
    execute(*statements[i], out, i + 1 == statements.size(), abort);
  }
  send(pkt_reply, out);
}

void session::execute(const sql::statement& s, std::string& out, bool last, bool& abort) {
  uint16_t more = last ? 0 : done_more;
  uint64_t rows = 0;
  bool counted = false;
  try {
    std::lock_guard<std::mutex> lock(engine_.mutex());
    switch (s.k) {
      case sql::statement::kind::use_db: {
        database* d = engine_.find_db(s.name);
        if (!d)
          throw sql_error(911, 16, 1,
                          "Database '" + s.name +
                              "' does not exist. Make sure that the name is entered correctly.");
        if (!engine::principal_of(*d, user_))
          throw sql_error(916, 14, 1,
                          "The server principal \"" + user_ +
                              "\" is not able to access the database \"" + d->name +
                              "\" under the current security context.");
        std::string old = db_;
        db_ = d->name;
        write_env_string(out, 1, db_, old);
        message(out, false, 5701, 1, 0, "Changed database context to '" + db_ + "'.");
        break;
      }
      case sql::statement::kind::create_db:
        engine_.create_db(s.name, user_);
        break;
      case sql::statement::kind::drop_db:
        if (s.flag && !engine_.find_db(s.name)) break;
        if (iequals(s.name, db_))
          throw sql_error(
              3702, 16, 4,
              "Cannot drop database \"" + s.name + "\" because it is currently in use.");
        engine_.drop_db(s.name, user_);
        break;
      case sql::statement::kind::create_table: {
        database& d = db_of(s.object);
        const std::string schema = default_schema(d);
        engine_.create_table(d, s.object.schema.empty() ? schema : s.object.schema, s, schema);
        break;
      }
      case sql::statement::kind::drop_table: {
        database& d = db_of(s.object);
        table* t = find_table(d, s.object);
        if (!t && s.flag) break;
        if (!t)
          throw sql_error(3701, 11, 5,
                          "Cannot drop the table '" + s.object.text() +
                              "', because it does not exist or you do not have permission.");
        engine_.drop_table(d, *t);
        break;
      }
      case sql::statement::kind::create_schema:
        engine_.create_schema(current_db(), s.name);
        break;
      case sql::statement::kind::create_user:
        engine_.create_user(current_db(), s.name, s.login, s.default_schema.value_or("dbo"),
                            s.login.empty() || config_.logins.count(fold_case(s.login)) > 0);
        break;
      case sql::statement::kind::alter_user:
        engine_.alter_user(current_db(), s.name, *s.default_schema);
        break;
      case sql::statement::kind::create_index:
      case sql::statement::kind::add_constraint:
      case sql::statement::kind::alter_column: {
        database& d = db_of(s.object);
        table* t = find_table(d, s.object);
        if (!t) {
          if (s.k == sql::statement::kind::create_index)
            throw sql_error(1088, 16, 12,
                            "Cannot find the object \"" + s.object.name +
                                "\" because it does not exist or you do not have permissions.");
          throw sql_error(4902, 16, 1,
                          "Cannot find the object \"" + s.object.name +
                              "\" because it does not exist or you do not have permissions.");
        }
        if (s.k == sql::statement::kind::create_index)
          engine_.create_index(d, *t, s.keys[0]);
        else if (s.k == sql::statement::kind::add_constraint)
          engine_.add_constraint(d, *t, s.keys[0], default_schema(d));
        else
          engine_.alter_column(d, *t, s.columns[0]);
        break;
      }
      case sql::statement::kind::set_option:
        if (s.name == "FMTONLY") fmtonly_ = s.flag;
        if (s.name == "NOCOUNT") nocount_ = s.flag;
        break;
      case sql::statement::kind::set_identity_insert: {
        database& d = db_of(s.object);
        table* t = find_table(d, s.object);
        if (!t) throw sql_error(208, 16, 1, "Invalid object name '" + s.object.text() + "'.");
        bool has_identity = std::any_of(t->columns.begin(), t->columns.end(),
                                        [](const column& c) { return c.identity; });
        if (!has_identity)
          throw sql_error(
              8106, 16, 1,
              "Table '" + t->schema + "." + t->name +
                  "' does not have the identity property. Cannot perform SET operation.");
        std::string key = identity_key(d, *t);
        if (s.flag && !identity_insert_.empty() && identity_insert_ != key)
          throw sql_error(8107, 16, 1,
                          "IDENTITY_INSERT is already ON for table '" + identity_insert_shown_ +
                              "'. Cannot perform SET operation for table '" + t->name + "'.");
        if (s.flag) {
          identity_insert_ = key;
          identity_insert_shown_ = d.name + "." + t->schema + "." + t->name;
        } else if (identity_insert_ == key)
          identity_insert_.clear();
        break;
      }
      case sql::statement::kind::insert:
        if (!fmtonly_) run_insert(s, rows);
        counted = true;
        break;
      case sql::statement::kind::select:
        run_select(*s.select, out, rows);
        counted = !fmtonly_;
        break;
      case sql::statement::kind::exec_sp_columns:
        run_sp_columns(s, out);
        write_done(out, tok_doneproc, more, 0xE0, 0);
        return;
      case sql::statement::kind::insert_bulk: {
        if (!config_.bulk_allowed)
          throw sql_error(4834, 16, 1,
                          "You do not have permission to use the bulk load statement.");
        database& d = db_of(s.object);
        table* t = find_table(d, s.object);
        if (!t) throw sql_error(208, 16, 1, "Invalid object name '" + s.object.text() + "'.");
        bulk_pending_ = true;
        bulk_db_ = d.name;
        bulk_table_ = t->object_id;
        bulk_table_shown_ = s.object.text();
        bulk_columns_.clear();
        for (const auto& c : s.columns) {
          if (t->find_column(c.name) < 0)
            throw sql_error(207, 16, 1, "Invalid column name '" + c.name + "'.");
          bulk_columns_.push_back(c.name);
        }
        bulk_check_constraints_ = fold_case(s.text).find("CHECK_CONSTRAINTS") != std::string::npos;
        bulk_keep_nulls_ = fold_case(s.text).find("KEEP_NULLS") != std::string::npos;
        bulk_keep_identity_ = fold_case(s.text).find("KEEPIDENTITY") != std::string::npos ||
                              identity_insert_ == identity_key(d, *t);
        break;
      }
      case sql::statement::kind::if_stmt: {
        bool truth = false;
        {
          catalog cat(engine_, db_, config_.version, user_);
          truth = cat.truth(*s.condition);
        }
        const auto& branch = truth ? s.then_branch : s.else_branch;
        if (branch.empty()) break;
        // The chosen statement reports for the IF; the lock is re-taken inside.
        engine_.mutex().unlock();
        try {
          execute(*branch[0], out, last, abort);
        } catch (...) {
          engine_.mutex().lock();
          throw;
        }
        engine_.mutex().lock();
        return;
      }
      case sql::statement::kind::noop:
        break;
    }
  } catch (const sql_error& e) {
    message(out, true, e.number, e.state, e.cls, e.what());
    if (ends_the_statement(e.number))
      message(out, false, 3621, 0, 0, "The statement has been terminated.");
    abort = is_batch_aborting(e.number);
    write_done(out, tok_done, static_cast<uint16_t>((abort ? 0 : more) | done_error), 0, 0);
    return;
  } catch (const std::logic_error& e) {
    // A statement this server cannot evaluate must not cost the client its connection.
    message(out, true, 8630, 1, 16,
            std::string("Internal Query Processor Error: The query processor encountered an "
                        "unexpected error during execution (") +
                e.what() + ").");
    abort = true;
    write_done(out, tok_done, done_error, 0, 0);
    return;
  }
  // SET NOCOUNT ON keeps the DONE tokens but drops their row counts.
  write_done(out, tok_done, static_cast<uint16_t>(more | (counted && !nocount_ ? done_count : 0)),
             0xC1, rows);
}

void session::run_insert(const sql::statement& s, uint64_t& rows) {
  database& d = db_of(s.object);
  table* t = find_table(d, s.object);
  if (!t) throw sql_error(208, 16, 1, "Invalid object name '" + s.object.text() + "'.");
  std::vector<int> targets;
  if (s.insert_columns.empty()) {
    for (size_t i = 0; i < t->columns.size(); ++i)
      if (!t->columns[i].identity) targets.push_back(static_cast<int>(i));
  } else {
    for (const auto& n : s.insert_columns) {
      int i = t->find_column(n);
      if (i < 0) throw sql_error(207, 16, 1, "Invalid column name '" + n + "'.");
      targets.push_back(i);
    }
  }
  bool identity_insert = identity_insert_ == identity_key(d, *t);
  bool identity_given = false;
  for (int i : targets)
    if (t->columns[static_cast<size_t>(i)].identity) {
      if (!identity_insert)
        throw sql_error(544, 16, 1,
                        "Cannot insert explicit value for identity column in table '" + t->name +
                            "' when IDENTITY_INSERT is set to OFF.");
      identity_given = true;
    }
  if (identity_insert && !identity_given)
    throw sql_error(545, 16, 1,
                    "Explicit value must be specified for identity column in table '" + t->name +
                        "' either when IDENTITY_INSERT is set to ON or when a replication user is "
                        "inserting into a NOT FOR REPLICATION identity column.");
  std::string qualified_name = d.name + "." + t->schema + "." + t->name;
  std::vector<std::vector<value>> input;
  if (s.select) {
    catalog cat(engine_, db_, config_.version, user_);
    relation r = cat.select(*s.select);
    for (auto& row : r.rows) input.push_back(std::move(row));
  } else {
    catalog cat(engine_, db_, config_.version, user_);
    for (const auto& row : s.rows) {
      std::vector<value> vals;
      for (const auto& e : row) vals.push_back(cat.eval_constant(*e));
      input.push_back(std::move(vals));
    }
  }
  std::vector<std::vector<value>> full;
  for (auto& in : input) {
    if (in.size() != targets.size())
      throw sql_error(in.size() > targets.size() ? 110 : 109, 15, 1,
                      in.size() > targets.size()
                          ? "There are more columns in the INSERT statement than values specified "
                            "in the VALUES clause. The number of values in the VALUES clause must "
                            "match the number of columns specified in the INSERT statement."
                          : "There are fewer columns in the INSERT statement than values specified "
                            "in the VALUES clause. The number of values in the VALUES clause must "
                            "match the number of columns specified in the INSERT statement.");
    std::vector<value> row(t->columns.size());
    std::vector<bool> given(t->columns.size(), false);
    for (size_t k = 0; k < targets.size(); ++k) {
      auto c = static_cast<size_t>(targets[k]);
      row[c] = convert(in[k], t->columns[c].type, qualified_name, t->columns[c].name);
      given[c] = true;
    }
    for (size_t c = 0; c < t->columns.size(); ++c)
      if (!given[c] && t->columns[c].has_default) row[c] = t->columns[c].default_value;
    full.push_back(std::move(row));
  }
  engine_.insert_rows(d, *t, full, identity_given);
  rows = full.size();
}

void session::run_select(const sql::select_stmt& q, std::string& out, uint64_t& rows) {
  catalog cat(engine_, db_, config_.version, user_);
  relation r = cat.select(q, fmtonly_);
  write_colmetadata(out, r.columns);
  if (fmtonly_) return;
  for (const auto& row : r.rows) write_row(out, r.columns, row);
  rows = r.rows.size();
}

void session::run_sp_columns(const sql::statement& s, std::string& out) {
  catalog cat(engine_, db_, config_.version, user_);
  relation r = cat.sp_columns(s.sp_table, s.sp_owner);
  write_colmetadata(out, r.columns);
  for (const auto& row : r.rows) write_row(out, r.columns, row);
  write_done(out, tok_doneinproc, done_more | done_count, 0xC1, r.rows.size());
  write_return_status(out, 0);
}

}  // namespace tds
