// mss_fast_load: bulk copy of converted rows into one table, committed in
// batches of 1,000 rows.
//
// A row reaches it already converted to the bytes each column takes
// (mss_bulk_row) and already checked (length, NOT NULL, range), so a row is
// sent whole or not at all. The rows of the current batch are kept until the
// batch is committed: a server error rejects the whole batch and ends the
// bulk stream, so the loader ends the copy, reopens the connection and hands
// the kept rows back (take_failed_batch) for the caller to replay one by one
// through INSERT statements, so that only the offending rows are lost.
//
// Owns the open bulk copy; holds the connection by reference. One thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "odb_bulk_copy.hpp"
#include "odb_connection.hpp"
#include "mss_value_encoder.hpp"

// One row as the encoder made it, kept until its batch is committed so that
// a refused batch can be replayed through INSERT statements.
struct mss_bulk_row {
  long record_number = 0;
  std::vector<mss_encoded_value> cells;  // one per table column, in order
};

class mss_fast_load final {
 public:
  static constexpr long batch_size = 1000;

  mss_fast_load();
  ~mss_fast_load();
  mss_fast_load(const mss_fast_load&) = delete;
  mss_fast_load& operator=(const mss_fast_load&) = delete;

  // bcp_init on `bracketed_name` and binds every column to its host type
  // (SYB*). Already open is an internal assertion.
  void open_table(odb_connection& connection, const std::string& bracketed_name,
                  const std::vector<int>& host_types, bool b_keep_identity);
  // Sends one row; every 1,000th row commits the batch. False when a batch
  // failed: its rows are then waiting in take_failed_batch().
  bool insert_data(mss_bulk_row row);
  // Commits what is pending and ends the copy. False when that last batch
  // failed (rows in take_failed_batch()).
  bool close_table();
  std::vector<mss_bulk_row> take_failed_batch();
  // The error that failed the last batch.
  const std::vector<odb_message>& last_errors() const { return last_errors_; }

  bool is_open() const { return copy_ && copy_->is_open(); }
  long rows_committed() const { return rows_committed_; }
  std::size_t rows_pending() const { return pending_.size(); }

 private:
  bool commit_batch(bool b_final);
  void fail_batch();

  odb_connection* connection_ = nullptr;
  std::unique_ptr<odb_bulk_copy> copy_;
  std::vector<int> host_types_;
  std::vector<mss_bulk_row> pending_;
  std::vector<mss_bulk_row> failed_;
  std::vector<odb_message> last_errors_;
  std::atomic<long> rows_committed_ = 0;  // read from the reading thread
};
