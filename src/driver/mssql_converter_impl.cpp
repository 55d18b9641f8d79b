#include "mssql_converter_impl.hpp"

#include "mss_engine.hpp"
#include "tk_trace.hpp"

mssql_converter_impl::mssql_converter_impl() : engine_(std::make_unique<mss_engine>(true)) {}

mssql_converter_impl::~mssql_converter_impl() = default;

void mssql_converter_impl::connect_mssql_server() {
  tk_trace(1, "mssql_converter_impl::connect_mssql_server");
  odb_set_timeouts(login_timeout, timeout);
  if (sec_log)
    engine_->connect(host, true);
  else
    engine_->connect(host, user, pswd, true);
}

void mssql_converter_impl::set_as_dbo(bool as_dbo) { engine_->set_as_dbo(as_dbo); }

bool mssql_converter_impl::as_dbo() const { return engine_->as_dbo(); }

void mssql_converter_impl::to_profile_settings(udb_profile_keys::settings& to) const {
  to.server = host;
  to.login = user;
  to.password = pswd;
  to.windows_authentication = sec_log;
  to.as_dbo = as_dbo();
  to.login_timeout = login_timeout;
  to.timeout = timeout;
}

void mssql_converter_impl::from_profile_settings(const udb_profile_keys::settings& from) {
  host = from.server;
  user = from.login;
  pswd = from.password;
  sec_log = from.windows_authentication;
  set_as_dbo(from.as_dbo);
  login_timeout = from.login_timeout;
  timeout = from.timeout;
}
