#include "odb_command.hpp"

#include "tk_trace.hpp"

long odb_command::execute(const std::string& sql) {
  tk_trace(2, "odb_command::execute(%s)", sql.c_str());
  return connection_->execute(sql);
}

void odb_command::execute(const std::string& sql, std::unique_ptr<odb_recordset>& rowset) {
  tk_trace(2, "odb_command::execute(%s)", sql.c_str());
  rowset = std::make_unique<odb_recordset>(L"query", connection_->query(sql));
}
