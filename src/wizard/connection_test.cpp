#include "connection_test.hpp"

#include "error_maps.hpp"
#include "mssql_converter_impl.hpp"
#include "tk_error_converter.hpp"
#include "tk_exception.hpp"
#include "tk_trace.hpp"

void connection_test::run() {
  tk_trace(2, "settings_page::animation::operator()");
  b_finished = false;
  b_ok_ = false;
  error_.clear();
  try {
    mssql_.connect_mssql_server();
    b_ok_ = true;
  } catch (const tk_exception& e) {
    error_ = text_for(e);
  } catch (const std::exception& e) {
    error_ = QString::fromLocal8Bit(e.what());
  }
  b_finished = true;
}

QString connection_test::text_for(const tk_exception& e) {
  if ((e.code() & 0xFFFFu) == 0x4005)
    return QStringLiteral(
        "MS SQL Server does not exist or access denied.\nCheck to verify the correct host was "
        "given.");
  const tk_error_converter map(odb_error_map());
  const std::string mapped = map.convert(e.code());
  return QString::fromLocal8Bit(mapped.empty() ? e.what() : mapped.c_str());
}
