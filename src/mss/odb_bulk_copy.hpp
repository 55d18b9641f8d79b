// odb_bulk_copy: one open bulk copy (bcp_init ... bcp_done) on a connection.
//
// Text is bound as SYBCHAR bytes the caller has already converted to the
// column's encoding (FreeTDS does not convert bound strings); every value is
// pointed at afresh for each row (bcp_colptr/bcp_collen). A length of 0 sends
// NULL, an empty text is sent with length -1. batch() commits the rows sent
// since the last batch; done() ends the copy. The destructor ends a copy that
// is still open without throwing.
//
// Final, non-copyable, movable. Holds the connection by reference: the
// connection must outlive it. One thread.
#pragma once

#include <cstdint>
#include <string>

class odb_connection;

class odb_bulk_copy final {
 public:
  // bcp_init on the owner-qualified bracketed name.
  odb_bulk_copy(odb_connection& connection, const std::string& bracketed_name);
  ~odb_bulk_copy();
  odb_bulk_copy(const odb_bulk_copy&) = delete;
  odb_bulk_copy& operator=(const odb_bulk_copy&) = delete;
  odb_bulk_copy(odb_bulk_copy&& other) noexcept;
  odb_bulk_copy& operator=(odb_bulk_copy&& other) noexcept;

  // Binds column `ordinal` (from 1) to host type `type` (SYB*), no data yet.
  void bind(int ordinal, int type);
  // Points column `ordinal` at `length` bytes of `data` for the next row.
  void set_value(int ordinal, const void* data, std::int32_t length);
  void set_null(int ordinal);
  void set_empty(int ordinal);
  void send_row();
  // Commits the rows sent since the last batch; returns how many there were.
  long batch();
  // Ends the copy and returns the rows sent since the last batch.
  long done();
  bool is_open() const { return connection_ != nullptr; }

 private:
  odb_connection* connection_ = nullptr;
};
