#include "odb_connection.hpp"

#include <sybdb.h>
#include <sybfront.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "tk_civil.hpp"
#include "tk_mail_assertion.hpp"
#include "tk_text.hpp"
#include "tk_trace.hpp"

struct odb_connection::state {
  std::vector<odb_message> messages;
};

namespace {

std::mutex library_mutex;
int library_users = 0;
int login_timeout = 30;
int query_timeout = 0;

// Messages that arrive while dbopen runs, before the connection has its
// record: they belong to the login attempt of this thread.
thread_local std::vector<odb_message>* login_messages = nullptr;

std::vector<odb_message>* record_for(DBPROCESS* dbproc) {
  if (dbproc) {
    if (auto* s = reinterpret_cast<odb_connection::state*>(dbgetuserdata(dbproc)))
      return &s->messages;
  }
  return login_messages;
}

extern "C" int odb_error_handler(DBPROCESS* dbproc, int severity, int dberr, int oserr,
                                 char* dberrstr, char* oserrstr) {
  // The library's echo of a server message carries nothing of its own.
  if (dberr == SYBESMSG) return INT_CANCEL;
  if (auto* list = record_for(dbproc)) {
    odb_message m;
    m.number = dberr;
    m.severity = severity;
    m.text = dberrstr ? dberrstr : "";
    // Without a system error the library still passes strerror(0), "Success".
    if (oserr != 0 && oserrstr && *oserrstr) m.text += std::string(" (") + oserrstr + ")";
    m.b_client = true;
    list->push_back(std::move(m));
  }
  return INT_CANCEL;
}

extern "C" int odb_message_handler(DBPROCESS* dbproc, DBINT msgno, int msgstate, int severity,
                                   char* msgtext, char* /*srvname*/, char* procname, int line) {
  // Informational messages (changed database context and the like) are not
  // errors.
  if (severity <= 10) return 0;
  if (auto* list = record_for(dbproc)) {
    odb_message m;
    m.number = msgno;
    m.state = msgstate;
    m.severity = severity;
    m.text = msgtext ? msgtext : "";
    m.procedure = procname ? procname : "";
    m.line = line;
    list->push_back(std::move(m));
  }
  return 0;
}

// What to check when no session could be made, for the failures a user can
// act on: a name that resolves nowhere, a named instance the SQL Server
// Browser did not reveal. Empty when the library's text says enough.
std::string connection_hint(const std::string& host_port,
                            const std::vector<odb_message>& messages) {
  bool b_no_name = false;
  bool b_unreachable = false;
  for (const auto& m : messages) {
    if (!m.b_client) return {};  // the server answered: its text is the one to read
    b_no_name |= m.number == SYBEINTF || m.number == SYBEUHST;
    b_unreachable |= m.number == SYBECONN || m.number == SYBETIME || m.number == SYBEFCON;
  }
  const std::size_t backslash = host_port.find('\\');
  const std::string host = host_port.substr(0, std::min(host_port.find(':'), backslash));
  if (b_no_name)
    return " The server name '" + host +
           "' is neither a host name that resolves nor a server named in freetds.conf: check "
           "its spelling, or give the server's IP address.";
  if (b_unreachable && backslash != std::string::npos)
    return " A named instance is found through the SQL Server Browser service on UDP port "
           "1434 of " +
           host +
           ": check that the service runs and that UDP 1434 is open to this "
           "machine, or give the instance's TCP port instead (--host=" +
           host + ",PORT).";
  if (b_unreachable)
    return " Check the server's name and port, and that it accepts TCP connections from this "
           "machine.";
  return {};
}

std::string cell_text(DBPROCESS* dbproc, int type, const BYTE* data, DBINT length) {
  char buf[64];
  switch (type) {
    case SYBINT1:
      return std::to_string(static_cast<unsigned>(*data));
    case SYBBIT:
    case SYBBITN:
      return *data ? "1" : "0";
    case SYBINT2: {
      std::int16_t v;
      std::memcpy(&v, data, 2);
      return std::to_string(v);
    }
    case SYBINT4: {
      std::int32_t v;
      std::memcpy(&v, data, 4);
      return std::to_string(v);
    }
    case SYBINT8: {
      std::int64_t v;
      std::memcpy(&v, data, 8);
      return std::to_string(v);
    }
    case SYBFLT8: {
      double v;
      std::memcpy(&v, data, 8);
      std::snprintf(buf, sizeof buf, "%.17g", v);
      return buf;
    }
    case SYBREAL: {
      float v;
      std::memcpy(&v, data, 4);
      std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(v));
      return buf;
    }
    case SYBDATETIME:
    case SYBDATETIME4: {
      long days;
      long ms;
      if (type == SYBDATETIME) {
        DBDATETIME v;
        std::memcpy(&v, data, sizeof v);
        days = v.dtdays;
        ms = static_cast<long>((static_cast<long long>(v.dttime) * 10 + 1) / 3);
      } else {
        DBDATETIME4 v;
        std::memcpy(&v, data, sizeof v);
        days = v.days;
        ms = static_cast<long>(v.minutes) * 60000L;
      }
      const tk_civil_date c = tk_civil_from_days(tk_day_1900 + days);
      const long y = c.year, m = c.month, d = c.day;
      std::snprintf(buf, sizeof buf, "%04ld-%02ld-%02ld %02ld:%02ld:%02ld.%03ld", y, m, d,
                    ms / 3600000, ms / 60000 % 60, ms / 1000 % 60, ms % 1000);
      return buf;
    }
    case SYBCHAR:
    case SYBVARCHAR:
    case SYBTEXT:
    case SYBNTEXT:
    case SYBNVARCHAR:

      return std::string(reinterpret_cast<const char*>(data), static_cast<std::size_t>(length));
    case SYBBINARY:
    case SYBVARBINARY:
    case SYBIMAGE:
      return std::string(reinterpret_cast<const char*>(data), static_cast<std::size_t>(length));
    default: {
      std::string out(static_cast<std::size_t>(length) * 4 + 64, '\0');
      DBINT n = dbconvert(dbproc, type, data, length, SYBCHAR, reinterpret_cast<BYTE*>(out.data()),
                          static_cast<DBINT>(out.size()));
      if (n < 0) return {};
      out.resize(static_cast<std::size_t>(n));
      while (!out.empty() && out.back() == '\0') out.pop_back();
      return out;
    }
  }
}

}  // namespace

odb_library::odb_library() {
  std::lock_guard lock(library_mutex);
  if (library_users == 0) {
    if (dbinit() == FAIL)
      throw odb_exception(tk_code_kind_odb | odb_low_other,
                          "Failed to initialise the SQL Server client library.", tk_level_run);
    dberrhandle(odb_error_handler);
    dbmsghandle(odb_message_handler);
    dbsetlogintime(login_timeout);
    dbsettime(query_timeout);
  }
  ++library_users;
  b_held_ = true;
}

void odb_set_timeouts(int login_seconds, int query_seconds) {
  std::lock_guard lock(library_mutex);
  login_timeout = login_seconds;
  query_timeout = query_seconds;
  if (library_users > 0) {
    dbsetlogintime(login_timeout);
    dbsettime(query_timeout);
  }
}

odb_library::~odb_library() {
  if (!b_held_) return;
  std::lock_guard lock(library_mutex);
  if (--library_users == 0) dbexit();
}

odb_library::odb_library(odb_library&& other) noexcept : b_held_(other.b_held_) {
  other.b_held_ = false;
}

odb_library& odb_library::operator=(odb_library&& other) noexcept {
  if (this != &other) {
    odb_library dropped(std::move(*this));
    b_held_ = other.b_held_;
    other.b_held_ = false;
  }
  return *this;
}

odb_server_address odb_parse_server(const std::wstring& server) {
  std::string s = tk_w2utf8(tk_trim(server));
  odb_server_address a;
  if (s.empty() || s == "." || s == "(local)") {
    a.host_port = "127.0.0.1:1433";
    return a;
  }
  // SQL Server writes the port after a comma; dbopen wants a colon.
  if (auto comma = s.find(','); comma != std::string::npos)
    s = tk_trim(s.substr(0, comma)) + ":" + tk_trim(s.substr(comma + 1));
  if (s.rfind(".\\", 0) == 0 || s.rfind("(local)\\", 0) == 0)
    s = "127.0.0.1" + s.substr(s.find('\\'));
  if (s.front() == ':') s = "127.0.0.1" + s;
  a.host_port = s;
  return a;
}

odb_login::odb_login(const std::wstring& user, const std::wstring& password, bool b_integrated) {
  login_ = dblogin();
  if (!login_)
    throw odb_exception(tk_code_kind_odb | odb_low_other, "Out of memory for a login record.",
                        tk_level_run);
  DBSETLAPP(login_, "Tessaly");
  DBSETLCHARSET(login_, "UTF-8");
  // FreeTDS's own configuration (TDSVER) wins over our default.
  if (!std::getenv("TDSVER")) DBSETLVERSION(login_, DBVERSION_74);
  if (b_integrated) {
    // An empty user name makes FreeTDS log in with Kerberos (GSSAPI).
    DBSETLUSER(login_, "");
  } else {
    DBSETLUSER(login_, tk_w2utf8(user).c_str());
    DBSETLPWD(login_, tk_w2utf8(password).c_str());
  }
}

odb_login::~odb_login() {
  if (login_) dbloginfree(login_);
}

odb_login::odb_login(odb_login&& other) noexcept
    : library_(std::move(other.library_)), login_(other.login_) {
  other.login_ = nullptr;
}

odb_login& odb_login::operator=(odb_login&& other) noexcept {
  if (this != &other) {
    if (login_) dbloginfree(login_);
    library_ = std::move(other.library_);
    login_ = other.login_;
    other.login_ = nullptr;
  }
  return *this;
}

odb_connection::odb_connection(const std::wstring& server, const odb_login& login,
                               const std::wstring& database)
    : state_(std::make_unique<state>()), database_(database) {
  const odb_server_address address = odb_parse_server(server);
  tk_trace(2, "odb_connection::odb_connection(%s)", address.host_port.c_str());
  TK_ASSERT(login.get() != nullptr);
  // The database is named in the login itself rather than by USE afterwards:
  // Azure SQL Database cannot switch databases with USE.
  DBSETLDBNAME(login.get(), tk_w2utf8(database).c_str());
  login_messages = &state_->messages;
  dbproc_ = dbopen(login.get(), address.host_port.c_str());
  login_messages = nullptr;
  if (!dbproc_) {
    // A refused login arrives as the server's message 18456, which decides
    // the code; without one the server was not reached.
    std::vector<odb_message> messages = state_->messages;
    const std::string hint = connection_hint(address.host_port, messages);
    for (auto& m : messages)
      if (m.b_client && !hint.empty()) m.text += (m.text.ends_with('.') ? "" : ".") + hint;
    throw odb_exception(messages, "MS SQL Server does not exist or access denied." + hint,
                        tk_level_run);
  }
  dbsetuserdata(dbproc_, reinterpret_cast<BYTE*>(state_.get()));
}

odb_connection::~odb_connection() {
  if (dbproc_) dbclose(dbproc_);
}

odb_connection::odb_connection(odb_connection&& other) noexcept
    : library_(std::move(other.library_)),
      dbproc_(other.dbproc_),
      state_(std::move(other.state_)),
      database_(std::move(other.database_)) {
  other.dbproc_ = nullptr;
}

odb_connection& odb_connection::operator=(odb_connection&& other) noexcept {
  if (this != &other) {
    if (dbproc_) dbclose(dbproc_);
    library_ = std::move(other.library_);
    dbproc_ = other.dbproc_;
    state_ = std::move(other.state_);
    database_ = std::move(other.database_);
    other.dbproc_ = nullptr;
  }
  return *this;
}

bool odb_connection::is_dead() const { return !dbproc_ || DBDEAD(dbproc_); }

const std::vector<odb_message>& odb_connection::messages() const { return state_->messages; }

void odb_connection::clear_messages() { state_->messages.clear(); }

void odb_connection::raise(const std::string& fallback) const {
  throw odb_exception(state_->messages, fallback);
}

void odb_connection::send(const std::string& sql) {
  TK_ASSERT(dbproc_ != nullptr);
  clear_messages();
  if (dbcmd(dbproc_, sql.c_str()) == FAIL) raise("Failed to send the SQL text.");
  if (dbsqlexec(dbproc_) == FAIL) {
    // Drain what the batch left so the connection stays usable.
    while (dbresults(dbproc_) == SUCCEED)
      while (dbnextrow(dbproc_) != NO_MORE_ROWS) {
      }
    raise("The server refused the statement.");
  }
}

long odb_connection::execute(const std::string& sql) {
  send(sql);
  long affected = 0;
  bool b_failed = false;
  RETCODE rc;
  while ((rc = dbresults(dbproc_)) != NO_MORE_RESULTS) {
    if (rc == FAIL) {
      b_failed = true;
      if (DBDEAD(dbproc_)) break;
      continue;
    }
    while (dbnextrow(dbproc_) != NO_MORE_ROWS) {
    }
    if (DBCOUNT(dbproc_) > 0) affected += DBCOUNT(dbproc_);
  }
  bool b_error = b_failed;
  for (const auto& m : messages()) b_error |= !m.b_client && m.severity > 10;
  if (b_error) raise("The server refused the statement.");
  return affected;
}

odb_result odb_connection::query(const std::string& sql) {
  send(sql);
  odb_result result;
  bool b_have = false;
  bool b_failed = false;
  RETCODE rc;
  while ((rc = dbresults(dbproc_)) != NO_MORE_RESULTS) {
    if (rc == FAIL) {
      b_failed = true;
      if (DBDEAD(dbproc_)) break;
      continue;
    }
    const int columns = dbnumcols(dbproc_);
    if (b_have || columns == 0) {
      while (dbnextrow(dbproc_) != NO_MORE_ROWS) {
      }
      continue;
    }
    b_have = true;
    for (int c = 1; c <= columns; ++c) {
      odb_column_info info;
      const char* name = dbcolname(dbproc_, c);
      info.name = name ? name : "";
      info.server_type = dbcoltype(dbproc_, c);
      info.size = dbcollen(dbproc_, c);
      DBCOL col{};
      col.SizeOfStruct = sizeof col;
      if (dbcolinfo(dbproc_, CI_REGULAR, c, 0, &col) == SUCCEED) {
        info.b_nullable = col.Null != 0;
        info.precision = col.Precision;
        info.scale = col.Scale;
      }
      result.columns.push_back(std::move(info));
    }
    RETCODE row;
    while ((row = dbnextrow(dbproc_)) != NO_MORE_ROWS) {
      if (row == FAIL) {
        b_failed = true;
        break;
      }
      std::vector<odb_cell> cells(static_cast<std::size_t>(columns));
      for (int c = 1; c <= columns; ++c) {
        BYTE* data = dbdata(dbproc_, c);
        DBINT length = dbdatlen(dbproc_, c);
        odb_cell& cell = cells[static_cast<std::size_t>(c - 1)];
        if (!data && length == 0) continue;  // NULL
        cell.b_null = false;
        if (data) cell.bytes = cell_text(dbproc_, dbcoltype(dbproc_, c), data, length);
      }
      result.rows.push_back(std::move(cells));
    }
  }
  bool b_error = b_failed;
  for (const auto& m : messages()) b_error |= !m.b_client && m.severity > 10;
  if (b_error) raise("The server refused the statement.");
  return result;
}
