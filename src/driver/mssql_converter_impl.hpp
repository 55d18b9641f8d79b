// mssql_converter_impl: the SQL Server side of the conversion settings, and
// the process's one SQL Server engine.
//
// Holds the credentials and time limits the front end gathered and connects
// the engine with them once before a run. The password is kept in memory only as long as the
// driver lives and is never traced.
#pragma once

#include <memory>
#include <string>

#include "udb_profile_keys.hpp"

class mss_engine;

class mssql_converter_impl {
 public:
  mssql_converter_impl();
  ~mssql_converter_impl();
  mssql_converter_impl(const mssql_converter_impl&) = delete;
  mssql_converter_impl& operator=(const mssql_converter_impl&) = delete;

  // Connects with Windows authentication when sec_log is set, with user and
  // password otherwise. Raises the engine's exception when that fails.
  void connect_mssql_server();

  void set_as_dbo(bool as_dbo);
  bool as_dbo() const;
  mss_engine& engine() { return *engine_; }

  // Profile glue for "MS SQL Server settings".
  void to_profile_settings(udb_profile_keys::settings& to) const;
  void from_profile_settings(const udb_profile_keys::settings& from);

  bool sec_log = false;
  std::wstring host;
  std::wstring user;
  std::wstring pswd;
  // Seconds to wait for a login, and for any answer of the server to a
  // statement or a bulk batch (0: wait forever).
  int login_timeout = udb_profile_keys::default_login_timeout;
  int timeout = udb_profile_keys::default_timeout;

 private:
  std::unique_ptr<mss_engine> engine_;
};
