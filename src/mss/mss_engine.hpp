// mss_engine: the one object through which Tessaly reaches a SQL Server.
//
// Holds the server name and the credentials, tests connections, learns the
// server's version level, decides whether rows go through bulk copy, and
// creates, opens, tests and drops destination databases. Every operation
// opens its own connection from the stored settings; the connection handed
// to an mss_database lives as long as that database.
//
// Server forms: host, host:port, host,port, host\instance; empty means the
// local server. The password never reaches the trace log ("***").
//
// Where tables go: see table_owner().
//
// Version levels: 1 unknown or older than 7.0, 2 for 7.0, 3 for 2000, 4 for
// 2005, 5 for 2008 and every later server (Azure SQL included). Level 3 and
// above allow bigint columns.
//
// One per process (tk_singleton); used by one thread at a time.
#pragma once

#include <memory>
#include <string>

#include "odb_connection.hpp"
#include "tk_singleton.hpp"

class mss_database;

class mss_engine final : public tk_singleton<mss_engine> {
 public:
  explicit mss_engine(bool b_com_initialized = true);
  ~mss_engine();

  // Integrated security (Kerberos through FreeTDS).
  void connect(const std::wstring& server, bool fast_load);
  // SQL Server authentication; an empty password is a valid password.
  void connect(const std::wstring& server, const std::wstring& user, const std::wstring& password,
               bool fast_load);
  void set_as_dbo(bool flag);

  // Opens a connection with the stored credentials to `database` (empty: the
  // login's default database). Not connected is an internal assertion.
  std::unique_ptr<odb_connection> test_connection(const std::wstring& database) const;
  // The version level of the server behind `connection`.
  static int get_version(odb_connection& connection);
  // The level for a "SELECT @@VERSION" text; 0 when the text tells nothing
  // and the server's product version has to be asked.
  static int version_from_text(const std::string& text);
  // The level for SERVERPROPERTY('ProductVersion') ("15.0.2000.5").
  static int version_from_product(const std::string& product_version);
  bool enable_fast_load(odb_connection& connection, bool wanted);

  bool is_db_exist(const std::wstring& name) const;
  std::unique_ptr<mss_database> open_db(const std::wstring& name, int mode) const;
  std::unique_ptr<mss_database> create_db(const std::wstring& name) const;
  void delete_db(const std::wstring& name) const;

  // The schema a run's tables belong to in the database `connection` has
  // open: dbo with --as_dbo, for sa and for integrated logins; otherwise the
  // session's default schema (SCHEMA_NAME()), where SQL Server itself puts
  // the login's unqualified names. A login that created the database is dbo
  // there, so its default schema is dbo.
  std::wstring table_owner(odb_connection& connection) const;
  // Owner-qualified bracketed name for a table name: "[owner].[table]"; a
  // name that already names its owner passes unchanged.
  static std::wstring get_safe_tname(const std::wstring& name, const std::wstring& owner);

  bool is_connected() const { return b_connected_; }
  int version_level() const { return version_level_; }
  bool fast_load() const { return b_fast_load_; }
  bool is_integrated() const { return b_integrated_; }
  bool as_dbo() const { return b_as_dbo_; }
  const std::wstring& server() const { return server_; }
  const std::wstring& user() const { return user_; }

 private:
  void do_connect(const std::wstring& server, const std::wstring& user,
                  const std::wstring& password, bool b_integrated, bool fast_load);
  // Throws why database `name` cannot be opened, if it cannot.
  void explain_closed_database(const std::wstring& name) const;

  int version_level_ = 0;
  std::wstring server_;
  std::wstring user_;
  std::wstring password_;
  bool b_connected_ = false;
  bool b_integrated_ = false;
  bool b_fast_load_ = false;
  bool b_com_initialized_ = true;
  bool b_as_dbo_ = false;
};

// Splits "[owner].[table]" or "[table]" into its parts (undoubling "]]");
// false, outputs untouched, for a name that is not bracketed.
bool mss_split_tab_name(const std::wstring& name, std::wstring& table, std::wstring& owner);

// "[" + name + "]" with every "]" inside doubled.
std::wstring mss_bracket(const std::wstring& name);
std::string mss_bracket_utf8(const std::wstring& name);
