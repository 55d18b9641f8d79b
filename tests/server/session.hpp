// One client connection: reads TDS packets, logs in, runs SQL batches and bulk loads against the
// shared engine, and writes the replies.
//
// A session is owned by the thread that serves its socket; it shares only the engine (under its
// mutex) and the read-only server_config (whose log has its own mutex). Any protocol_error ends the
// session and closes its socket; the server goes on.
#pragma once

#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "engine.hpp"
#include "tds_text.hpp"
#include "tds_wire.hpp"

namespace tds {

struct server_config {
  std::map<std::string, std::string> logins;  // name (upper case: logins ignore case) → password
  std::string version;
  bool bulk_allowed = true;
  FILE* log = nullptr;
  std::mutex log_mutex;
  void log_statement(std::string_view text);
};

// Where a session gets its bytes: a socket in the server, a buffer in the fuzz target.
class byte_stream {
 public:
  virtual ~byte_stream() = default;
  // Reads exactly `n` bytes; false at end of stream.
  virtual bool read(char* out, size_t n) = 0;
  virtual void write(const char* data, size_t n) = 0;
};

class session final {
 public:
  session(byte_stream& io, engine& db, server_config& config, int spid);
  // Serves the connection until the client leaves; throws protocol_error on malformed input.
  void run();

 private:
  struct packet {
    uint8_t type = 0;
    bool eom = false;
    std::string payload;
  };
  bool read_packet(packet& p);
  bool read_message(uint8_t& type, std::string& payload);
  void send(uint8_t type, const std::string& data);

  void login(const std::string& payload);
  void batch(const std::string& sql);
  void bulk(packet first);

  struct result;
  void execute(const sql::statement& s, std::string& out, bool last, bool& abort);
  void run_select(const sql::select_stmt& q, std::string& out, uint64_t& rows);
  void run_insert(const sql::statement& s, uint64_t& rows);
  void run_sp_columns(const sql::statement& s, std::string& out);
  void message(std::string& out, bool error, int number, int state, int cls,
               const std::string& text);
  database& current_db();
  database& db_of(const sql::object_name& name);  // the named database, or the current one
  // The schema unqualified names go to in `d` for this session's login.
  std::string default_schema(const database& d) const;
  // A table as this session's login names it: default schema first, then dbo.
  table* find_table(database& d, const sql::object_name& name) const;
  static std::string identity_key(const database& d, const table& t) {
    return fold_case(d.name) + "." + std::to_string(t.object_id);
  }

  byte_stream& io_;
  engine& engine_;
  server_config& config_;
  int spid_;
  uint32_t packet_size_ = 4096;
  bool logged_in_ = false;
  std::string user_;
  std::string db_ = "master";
  bool fmtonly_ = false;
  bool nocount_ = false;
  bool quoted_identifier_ = false;     // SQL Server's default for DB-Library connections
  std::string identity_insert_;        // identity_key() of the table with IDENTITY_INSERT ON
  std::string identity_insert_shown_;  // the same as messages name it: db.dbo.table
  // Set by "insert bulk", consumed by the BULK LOAD message that follows.
  bool bulk_pending_ = false;
  std::string bulk_db_;
  int32_t bulk_table_ = 0;  // object id
  std::string bulk_table_shown_;
  std::vector<std::string> bulk_columns_;
  bool bulk_keep_identity_ = false;
  bool bulk_keep_nulls_ = false;
  bool bulk_check_constraints_ = false;
  int64_t last_identity_ = -1;
};

}  // namespace tds
