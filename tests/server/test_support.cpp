#include "test_support.hpp"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>

#ifndef TDS_TEST_SERVER_PATH
#error "TDS_TEST_SERVER_PATH must name the server binary"
#endif

namespace tds_test {
namespace {

std::mutex g_messages_mutex;
std::map<DBPROCESS*, std::vector<server_message>> g_messages;
std::map<DBPROCESS*, std::string> g_client_errors;
std::vector<server_message>
    g_login_messages;  // messages while dbopen runs, before a process exists

int on_message(DBPROCESS* proc, DBINT number, int state, int severity, char* text, char*, char*,
               int) {
  std::lock_guard<std::mutex> lock(g_messages_mutex);
  g_messages[proc].push_back({static_cast<int>(number), state, severity, text ? text : ""});
  g_login_messages.push_back(g_messages[proc].back());
  return 0;
}

int on_error(DBPROCESS* proc, int, int, int, char* text, char*) {
  std::lock_guard<std::mutex> lock(g_messages_mutex);
  g_client_errors[proc] = text ? text : "";
  return INT_CANCEL;
}

void init_dblib() {
  static std::once_flag once;
  std::call_once(once, [] {
    dbinit();
    dbmsghandle(on_message);
    dberrhandle(on_error);
    setenv("TDSVER", "7.4", 1);
  });
}

}  // namespace

server_process::server_process(std::vector<std::string> args) {
  int out[2];
  if (pipe(out) != 0) throw std::runtime_error("pipe failed");
  pid_ = fork();
  if (pid_ == 0) {
    dup2(out[1], 1);
    close(out[0]);
    close(out[1]);
    std::vector<std::string> all = {TDS_TEST_SERVER_PATH, "--port", "0"};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(out[1]);
  std::string line;
  char c;
  while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
  close(out[0]);
  port_ = std::atoi(line.c_str());
  if (port_ <= 0) throw std::runtime_error("tds_test_server did not report a port");
}

int server_process::stop() {
  if (pid_ <= 0) return -1;
  kill(pid_, SIGTERM);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
  return status;
}

server_process::~server_process() { stop(); }

dblib_client::dblib_client(int port, const std::string& database, const std::string& user,
                           const std::string& password, bool bcp) {
  init_dblib();
  LOGINREC* login = dblogin();
  DBSETLUSER(login, user.c_str());
  DBSETLPWD(login, password.c_str());
  DBSETLAPP(login, "tds_server_tests");
  DBSETLCHARSET(login, "UTF-8");
  dbsetlversion(login, DBVERSION_74);
  if (!database.empty()) DBSETLDBNAME(login, database.c_str());
  if (bcp) BCP_SETL(login, TRUE);
  std::string server = "127.0.0.1:" + std::to_string(port);
  {
    std::lock_guard<std::mutex> lock(g_messages_mutex);
    g_login_messages.clear();
  }
  proc_ = dbopen(login, server.c_str());
  if (!proc_) {
    std::lock_guard<std::mutex> lock(g_messages_mutex);
    g_messages[reinterpret_cast<DBPROCESS*>(this)] = g_login_messages;
  } else {
    clear_messages();
  }
  dbloginfree(login);
}

dblib_client::~dblib_client() {
  std::lock_guard<std::mutex> lock(g_messages_mutex);
  if (proc_) {
    g_messages.erase(proc_);
    g_client_errors.erase(proc_);
    dbclose(proc_);
  }
  g_messages.erase(reinterpret_cast<DBPROCESS*>(this));
}

std::vector<server_message> dblib_client::errors() const {
  std::lock_guard<std::mutex> lock(g_messages_mutex);
  std::vector<server_message> out;
  auto key = proc_ ? proc_ : reinterpret_cast<DBPROCESS*>(const_cast<dblib_client*>(this));
  for (const auto& m : g_messages[key])
    if (m.severity > 10) out.push_back(m);
  return out;
}

std::vector<server_message> dblib_client::infos() const {
  std::lock_guard<std::mutex> lock(g_messages_mutex);
  std::vector<server_message> out;
  for (const auto& m : g_messages[proc_])
    if (m.severity <= 10) out.push_back(m);
  return out;
}

void dblib_client::clear_messages() {
  std::lock_guard<std::mutex> lock(g_messages_mutex);
  g_messages[proc_].clear();
  g_client_errors[proc_].clear();
}

std::string dblib_client::last_error_text() const {
  auto e = errors();
  return e.empty() ? std::string() : e.back().text;
}

bool dblib_client::exec(const std::string& sql) {
  results_.clear();
  clear_messages();
  if (dbcmd(proc_, sql.c_str()) == FAIL) return false;
  bool ok = dbsqlexec(proc_) != FAIL;
  RETCODE rc;
  while ((rc = dbresults(proc_)) != NO_MORE_RESULTS) {
    if (rc == FAIL) {
      ok = false;
      continue;
    }
    int columns = dbnumcols(proc_);
    if (columns == 0) continue;
    result_set rs;
    for (int c = 1; c <= columns; ++c) {
      rs.names.push_back(dbcolname(proc_, c));
      rs.types.push_back(dbcoltype(proc_, c));
    }
    while (dbnextrow(proc_) != NO_MORE_ROWS) {
      std::vector<std::string> row;
      for (int c = 1; c <= columns; ++c) row.push_back(value_text(proc_, c));
      rs.rows.push_back(std::move(row));
    }
    results_.push_back(std::move(rs));
  }
  return ok && errors().empty();
}

std::string dblib_client::scalar(const std::string& sql) {
  if (!exec(sql)) throw std::runtime_error("query failed: " + sql + ": " + last_error_text());
  if (results_.empty() || results_[0].rows.empty()) throw std::runtime_error("no rows: " + sql);
  return results_[0].rows[0][0];
}

std::string value_text(DBPROCESS* proc, int column) {
  BYTE* data = dbdata(proc, column);
  DBINT len = dbdatlen(proc, column);
  int type = dbcoltype(proc, column);
  if (data == nullptr) return "NULL";
  char buf[256];
  switch (type) {
    case SYBINT1:
      return std::to_string(*reinterpret_cast<DBTINYINT*>(data));
    case SYBINT2:
      return std::to_string(*reinterpret_cast<DBSMALLINT*>(data));
    case SYBINT4:
      return std::to_string(*reinterpret_cast<DBINT*>(data));
    case SYBINT8:
      return std::to_string(*reinterpret_cast<DBBIGINT*>(data));
    case SYBBIT:
      return std::to_string(*reinterpret_cast<DBBIT*>(data));
    case SYBREAL:
      std::snprintf(buf, sizeof buf, "%.7g", *reinterpret_cast<DBREAL*>(data));
      return buf;
    case SYBFLT8:
      std::snprintf(buf, sizeof buf, "%.15g", *reinterpret_cast<DBFLT8*>(data));
      return buf;
    case SYBDATETIME:
    case SYBDATETIME4:
    case SYBMSDATE:
    case SYBMSTIME:
    case SYBMSDATETIME2: {
      DBDATEREC2 rec{};
      if (dbanydatecrack(proc, &rec, type, data) == FAIL) return "?";
      std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%07d", rec.dateyear,
                    rec.datemonth + 1, rec.datedmonth, rec.datehour, rec.dateminute, rec.datesecond,
                    rec.datensecond / 100);
      if (type == SYBMSDATE) return std::string(buf, 10);
      if (type == SYBMSTIME) return std::string(buf + 11);
      return buf;
    }
    case SYBBINARY:
    case SYBVARBINARY:
    case SYBIMAGE: {
      std::string out = "0x";
      for (DBINT i = 0; i < len; ++i) {
        std::snprintf(buf, sizeof buf, "%02X", data[i]);
        out += buf;
      }
      return out;
    }
    default: {
      if (len == 0) return "";  // dbconvert reads a zero length as "use the column's size"
      std::vector<char> text(static_cast<size_t>(len) * 4 + 64);
      DBINT n = dbconvert(proc, type, data, len, SYBCHAR, reinterpret_cast<BYTE*>(text.data()),
                          static_cast<DBINT>(text.size()));
      if (n < 0) return "?";
      return std::string(text.data(), static_cast<size_t>(n));
    }
  }
}

command_result run_command(const std::string& command, const std::string& input) {
  std::string file;
  std::string full = command;
  if (!input.empty()) {
    file = write_temp_file(input);
    full += " < '" + file + "'";
  }
  full += " 2>&1";
  command_result r;
  FILE* p = popen(full.c_str(), "r");
  if (!p) return r;
  std::array<char, 4096> buf;
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.output.append(buf.data(), n);
  r.status = pclose(p);
  if (!file.empty()) unlink(file.c_str());
  return r;
}

std::string tsql(int port, const std::string& sql, const std::string& user,
                 const std::string& password) {
  return run_command("TDSVER=7.4 tsql -o q -H 127.0.0.1 -p " + std::to_string(port) + " -U '" +
                         user + "' -P '" + password + "'",
                     sql + "\ngo\n")
      .output;
}

std::string write_temp_file(const std::string& content) {
  char name[] = "/tmp/tds_server_test_XXXXXX";
  int fd = mkstemp(name);
  if (fd < 0) throw std::runtime_error("mkstemp failed");
  size_t done = 0;
  while (done < content.size()) {
    ssize_t w = write(fd, content.data() + done, content.size() - done);
    if (w <= 0) break;
    done += static_cast<size_t>(w);
  }
  close(fd);
  return name;
}

}  // namespace tds_test
