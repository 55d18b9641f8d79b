// Test support: a tds_test_server process per test, a small DB-Library client, and runners for the
// FreeTDS command-line clients. Every test talks to the server only through these real clients.
#pragma once

#include <sybdb.h>

#include <string>
#include <vector>

namespace tds_test {

// Starts tds_test_server --port 0 with extra arguments; stops it (SIGTERM) on destruction.
class server_process final {
 public:
  explicit server_process(std::vector<std::string> args = {});
  ~server_process();
  server_process(const server_process&) = delete;
  server_process& operator=(const server_process&) = delete;
  int port() const { return port_; }
  pid_t pid() const { return pid_; }
  // Sends SIGTERM and returns the exit status (as waitpid reports it).
  int stop();

 private:
  pid_t pid_ = -1;
  int port_ = 0;
};

inline const char* k_password = "Tessaly!2026";

struct server_message {
  int number = 0;
  int state = 0;
  int severity = 0;
  std::string text;
};

struct result_set {
  std::vector<std::string> names;
  std::vector<int> types;
  std::vector<std::vector<std::string>> rows;  // values as text, "NULL" for NULL
};

// One DB-Library connection. Server messages of severity > 10 land in errors(); informational ones
// in infos(). Not for use from two threads at once.
class dblib_client final {
 public:
  dblib_client(int port, const std::string& database = "", const std::string& user = "sa",
               const std::string& password = k_password, bool bcp = true);
  ~dblib_client();
  dblib_client(const dblib_client&) = delete;
  dblib_client& operator=(const dblib_client&) = delete;

  bool connected() const { return proc_ != nullptr; }
  DBPROCESS* proc() { return proc_; }
  // Runs a batch; returns false when DB-Library reported failure. Result sets are kept in
  // results().
  bool exec(const std::string& sql);
  // Runs a batch that must succeed and returns its only value (first column of the first row).
  std::string scalar(const std::string& sql);
  const std::vector<result_set>& results() const { return results_; }
  std::vector<server_message> errors() const;
  std::vector<server_message> infos() const;
  void clear_messages();
  std::string last_error_text() const;

 private:
  DBPROCESS* proc_ = nullptr;
  std::vector<result_set> results_;
};

// Text of one column value as the tests compare it (ISO dates, plain numbers, upper-case hex).
std::string value_text(DBPROCESS* proc, int column);

struct command_result {
  int status = -1;
  std::string output;
};
// Runs a shell command (stdin from `input` when given), capturing stdout and stderr together.
command_result run_command(const std::string& command, const std::string& input = "");
std::string tsql(int port, const std::string& sql, const std::string& user = "sa",
                 const std::string& password = k_password);
std::string write_temp_file(const std::string& content);

}  // namespace tds_test
