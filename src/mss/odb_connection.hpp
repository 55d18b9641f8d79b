// RAII owners of DB-Library's handles: the library itself, a login record and
// an open connection (DBPROCESS).
//
// odb_library: dbinit/dbexit and the process-wide message and error handlers.
// Reference counted: the first instance initialises the library, the last one
// ends it. The handlers only record what they are told on the connection the
// message belongs to (or, before a connection exists, on the login attempt of
// the calling thread) and return INT_CANCEL; callers throw odb_exception once
// the DB-Library call has returned FAIL. Nothing is thrown through C code.
//
// odb_login: a LOGINREC with user, password (never traced), application name,
// client charset UTF-8 and TDS 7.4 unless FreeTDS's configuration says
// otherwise, or integrated security (FreeTDS's Kerberos support).
//
// odb_connection: one session with the server. Executes SQL batches and reads
// their results whole. Owns its DBPROCESS and closes it on destruction.
//
// All three are final, non-copyable and movable. A connection is used by one
// thread at a time.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "odb_exception.hpp"

struct tds_dblib_dbprocess;
struct tds_dblib_loginrec;

class odb_library final {
 public:
  odb_library();
  ~odb_library();
  odb_library(const odb_library&) = delete;
  odb_library& operator=(const odb_library&) = delete;
  odb_library(odb_library&& other) noexcept;
  odb_library& operator=(odb_library&& other) noexcept;

 private:
  bool b_held_ = false;
};

// How long DB-Library waits: for a login to be answered, and for any answer
// of the server to a statement or a bulk batch (0: wait forever). Both are
// process-wide in DB-Library; they apply to connections opened afterwards
// and, for the second, to open ones as well. A wait that runs out fails the
// call with DB-Library's timeout error (odb_exception::is_timeout).
void odb_set_timeouts(int login_seconds, int query_seconds);

// Where the server lives, as dbopen wants it.
struct odb_server_address {
  std::string host_port;  // "host", "host:port" or "host\\instance"
};

// Parses SQL Server's server forms: host, host:port, host,port and
// host\instance; an empty name is the local server 127.0.0.1:1433.
odb_server_address odb_parse_server(const std::wstring& server);

class odb_login final {
 public:
  // Integrated security when b_integrated; user and password are then unused.
  odb_login(const std::wstring& user, const std::wstring& password, bool b_integrated);
  ~odb_login();
  odb_login(const odb_login&) = delete;
  odb_login& operator=(const odb_login&) = delete;
  odb_login(odb_login&& other) noexcept;
  odb_login& operator=(odb_login&& other) noexcept;

  tds_dblib_loginrec* get() const { return login_; }

 private:
  odb_library library_;
  tds_dblib_loginrec* login_ = nullptr;
};

// One result set of a batch: column names, server types and the rows as
// values. Rows are read whole so that the connection is free afterwards.
struct odb_column_info {
  std::string name;     // UTF-8
  int server_type = 0;  // DB-Library's SYB* type
  int size = 0;         // bytes as the server reports them
  bool b_nullable = true;
  int precision = 0;
  int scale = 0;
};

struct odb_cell {
  bool b_null = true;
  std::string bytes;  // text in UTF-8, binary as is, numbers as text
};

struct odb_result {
  std::vector<odb_column_info> columns;
  std::vector<std::vector<odb_cell>> rows;
};

class odb_connection final {
 public:
  // Opens a session on `server` in `database` (empty: the login's default
  // database), which the login record names; `login` keeps that database
  // afterwards. Failure raises odb_exception (unreachable server: code
  // 0x84005; bad login: 0x80E4D; database cannot be opened: the server's
  // code and text).
  odb_connection(const std::wstring& server, const odb_login& login, const std::wstring& database);
  ~odb_connection();
  odb_connection(const odb_connection&) = delete;
  odb_connection& operator=(const odb_connection&) = delete;
  odb_connection(odb_connection&& other) noexcept;
  odb_connection& operator=(odb_connection&& other) noexcept;

  // Runs one batch, discards its rows and returns the rows affected by it.
  long execute(const std::string& sql);
  // Runs one batch and returns its first result set (empty when none).
  odb_result query(const std::string& sql);

  tds_dblib_dbprocess* get() const { return dbproc_; }
  // The database named at opening ("" for the login's default one).
  const std::wstring& database() const { return database_; }
  // True when the session is lost and has to be opened again.
  bool is_dead() const;

  // Messages recorded by the handlers since the last clear, in order.
  const std::vector<odb_message>& messages() const;
  void clear_messages();
  // Throws odb_exception from the recorded messages (fallback text when the
  // handlers recorded nothing).
  [[noreturn]] void raise(const std::string& fallback) const;

  // The handlers' record for this connection (used by the C callbacks only).
  struct state;

 private:
  void send(const std::string& sql);

  odb_library library_;
  tds_dblib_dbprocess* dbproc_ = nullptr;
  std::unique_ptr<state> state_;
  std::wstring database_;
};
