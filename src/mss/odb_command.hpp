// odb_command: runs SQL batches on a connection it does not own.
//
// Traces each statement (level 2) and raises odb_exception when the server
// refuses it. The connection must outlive the command. One thread.
#pragma once

#include <memory>
#include <string>

#include "odb_connection.hpp"
#include "odb_recordset.hpp"

class odb_command final {
 public:
  explicit odb_command(odb_connection& connection) : connection_(&connection) {}

  // Runs the batch; returns the rows it affected.
  long execute(const std::string& sql);
  // Runs the batch and hands its first result set back as a recordset.
  void execute(const std::string& sql, std::unique_ptr<odb_recordset>& rowset);

  odb_connection& connection() const { return *connection_; }

 private:
  odb_connection* connection_;
};
