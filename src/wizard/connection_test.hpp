// connection_test: connects the converter's SQL Server engine with the
// settings of the connection page, on a worker thread, and keeps what
// happened for the interface thread to show.
//
// The interface thread reads ok() and error_text() once b_finished is set.
#pragma once

#include <QString>

#include "tk_converter.hpp"

class mssql_converter_impl;
class tk_exception;

class connection_test final : public tk_converter {
 public:
  explicit connection_test(mssql_converter_impl& mssql) : mssql_(mssql) {}

  void run() override;
  bool ok() const { return b_ok_; }
  const QString& error_text() const { return error_; }

  // What the user reads for a failed connection: a server that cannot be
  // reached gets a hint, a mapped code its message, anything else its own text.
  static QString text_for(const tk_exception& e);

 private:
  mssql_converter_impl& mssql_;
  bool b_ok_ = false;
  QString error_;
};
