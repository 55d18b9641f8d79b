#include "odb_bulk_copy.hpp"

#include <sybdb.h>
#include <sybfront.h>

#include "odb_connection.hpp"
#include "tk_mail_assertion.hpp"
#include "tk_trace.hpp"

odb_bulk_copy::odb_bulk_copy(odb_connection& connection, const std::string& bracketed_name) {
  tk_trace(2, "odb_bulk_copy::odb_bulk_copy(%s)", bracketed_name.c_str());
  connection.clear_messages();
  if (bcp_init(connection.get(), bracketed_name.c_str(), nullptr, nullptr, DB_IN) == FAIL)
    connection.raise("The bulk copy could not be started.");
  connection_ = &connection;
}

odb_bulk_copy::~odb_bulk_copy() {
  if (connection_) {
    bcp_done(connection_->get());
    connection_ = nullptr;
  }
}

odb_bulk_copy::odb_bulk_copy(odb_bulk_copy&& other) noexcept : connection_(other.connection_) {
  other.connection_ = nullptr;
}

odb_bulk_copy& odb_bulk_copy::operator=(odb_bulk_copy&& other) noexcept {
  if (this != &other) {
    if (connection_) bcp_done(connection_->get());
    connection_ = other.connection_;
    other.connection_ = nullptr;
  }
  return *this;
}

void odb_bulk_copy::bind(int ordinal, int type) {
  TK_ASSERT(connection_ != nullptr);
  // No data, prefix or terminator: each row points at its value afresh.
  static BYTE placeholder = 0;
  if (bcp_bind(connection_->get(), &placeholder, 0, -1, nullptr, 0, type, ordinal) == FAIL)
    connection_->raise("A column of the bulk copy could not be bound.");
}

void odb_bulk_copy::set_value(int ordinal, const void* data, std::int32_t length) {
  TK_ASSERT(connection_ != nullptr);
  DBPROCESS* p = connection_->get();
  if (bcp_colptr(p, static_cast<BYTE*>(const_cast<void*>(data)), ordinal) == FAIL ||
      bcp_collen(p, length, ordinal) == FAIL)
    connection_->raise("A value of the bulk copy could not be bound.");
}

void odb_bulk_copy::set_null(int ordinal) {
  static BYTE placeholder = 0;
  set_value(ordinal, &placeholder, 0);
}

void odb_bulk_copy::set_empty(int ordinal) {
  static BYTE placeholder = 0;
  set_value(ordinal, &placeholder, -1);
}

void odb_bulk_copy::send_row() {
  TK_ASSERT(connection_ != nullptr);
  if (bcp_sendrow(connection_->get()) == FAIL) connection_->raise("The row could not be sent.");
}

long odb_bulk_copy::batch() {
  TK_ASSERT(connection_ != nullptr);
  DBINT n = bcp_batch(connection_->get());
  if (n < 0) connection_->raise("The server refused a batch of the bulk copy.");
  return n;
}

long odb_bulk_copy::done() {
  TK_ASSERT(connection_ != nullptr);
  odb_connection* c = connection_;
  connection_ = nullptr;
  DBINT n = bcp_done(c->get());
  if (n < 0) c->raise("The server refused the last batch of the bulk copy.");
  return n;
}
