// mss_table: one destination table opened for loading.
//
// The driver hands it one converted record at a time (append_record). Rows go
// through bulk copy when the engine's fast-load mode is on, otherwise as one
// INSERT statement each. Both paths give the same table contents: on the bulk
// path every value is converted, length-checked and NOT NULL-checked before
// it is sent, a text longer than its column fails its row with the server's
// truncation error (nothing is ever cut), and a batch the server rejects is
// replayed through INSERT so that only the offending rows are lost.
//
// Failures of the row being appended are thrown from append_record. Failures
// found later (a rejected batch) are handed to the error sink with the record
// number they belong to; without a sink, the first one is thrown from the
// next flush()/close(). The destructor closes the bulk copy without throwing;
// call close() first to hear about failures.
//
// The columns, defaults and identity of the table are read back through
// sp_columns. The table's name is its owner-qualified bracketed name. Shares
// the connection of its database: while a bulk copy is open that session
// carries nothing else, so anything else sent on the database (an ALTER, a
// DROP) waits for flush().
//
// On the bulk path the rows are sent by a thread of the table's own: the
// caller's thread reads and encodes, the sender calls bcp_sendrow and
// bcp_batch, joined by a bounded queue of row batches (at most
// hand_overs_queued x rows_per_hand_over rows wait). Failures the sender
// finds are handed to the sink on the caller's thread, in the order found,
// at the next append_record, flush() or close(). The table itself is used
// from one thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "mss_fast_load.hpp"
#include "mss_row_queue.hpp"
#include "mss_value_encoder.hpp"
#include "odb_command.hpp"
#include "odb_table.hpp"
#include "ole_variant.hpp"
#include "t_ftd.hpp"
#include "tk_exception.hpp"

// Receives a row failure that was found after append_record returned: the
// table's name and the record number (from 1).
using mss_error_sink =
    std::function<void(const tk_exception& error, const std::wstring& table, long record_number)>;

class mss_table : public odb_table {
 public:
  mss_table(const std::wstring& name, std::shared_ptr<odb_connection> connection, int mode,
            udb_relationships* relationships);
  mss_table(const std::wstring& name, const std::wstring& query,
            std::shared_ptr<odb_connection> connection, int mode, udb_relationships* relationships);
  ~mss_table() override;

  // Writes one row; the record number counts the calls.
  void append_record(udb_record& record) override;
  // Writes one row under the driver's record number (from 1).
  void append_record(udb_record& record, long record_number);
  // Commits the rows the bulk copy holds and ends it (the next row starts a
  // new one). Needed before the table's structure changes.
  void flush();
  // Final commit. Throws the first failure when no sink is set.
  void close();

  void set_error_sink(mss_error_sink sink) { sink_ = std::move(sink); }

  // Widens a text column to `new_size` characters (0: nvarchar(max)).
  void set_column_size(std::size_t position, std::int32_t new_size);

  void init_schema();
  // The INSERT statement for encoded values, one per column.
  std::string insert_sql(const std::vector<mss_encoded_value>& values) const;
  const mss_value_encoder& encoder() const { return encoder_; }
  // Tables this run created may be widened step by step; tables that
  // existed before only beyond 255 characters.
  void set_created(bool b_created) { b_created_ = b_created; }
  bool is_created() const { return b_created_; }

  // Rows of this table the server has committed so far: whole bulk batches
  // and INSERT statements that succeeded.
  long rows_loaded() const { return fast_load_.rows_committed() + rows_by_sql_; }

  bool has_identity() const { return b_identity_; }
  bool has_primary_key() const { return b_primary_key_; }
  long rows_by_sql() const { return rows_by_sql_; }
  const std::vector<mss_column_info>& columns() const { return columns_; }

 private:
  const ole_variant& value_for(const udb_record& record, std::size_t position) const;
  mss_bulk_row encode_record(const udb_record& record, long record_number) const;
  void slow_record(const std::vector<mss_encoded_value>& values);
  void fast_append(mss_bulk_row row);
  std::vector<int> host_types() const;
  void replay_failed_batch();
  void start_sender();
  void send_batches();
  void send_row(mss_bulk_row row);
  void stop_sender();
  void report(const tk_exception& error, long record_number);
  void deliver_reports();
  std::string statement_prefix() const;

  odb_command command_;
  mss_fast_load fast_load_;
  std::vector<mss_column_info> columns_;
  mss_value_encoder encoder_;
  bool b_created_ = false;
  bool b_bulk_refused_ = false;
  bool b_identity_ = false;
  bool b_primary_key_ = false;
  bool b_prefix_sent_ = false;
  std::atomic<long> rows_by_sql_ = 0;
  long record_counter_ = 0;
  mss_error_sink sink_;
  std::unique_ptr<tk_exception> first_deferred_;

  // The sending thread: it owns the connection from start_sender until
  // stop_sender; the reading thread hands it rows through queue_.
  static constexpr std::size_t rows_per_hand_over = 256;
  static constexpr std::size_t hand_overs_queued = 8;
  mss_row_queue queue_{hand_overs_queued};
  std::vector<mss_bulk_row> hand_over_;
  std::thread sender_;
  std::mutex reports_mutex_;
  std::vector<std::pair<tk_exception, long>> reports_;  // found by the sender, not yet delivered
  std::exception_ptr sender_failure_;                   // what stopped the sender
};

// Dates outside the datetime range and reals outside the double range pulled in.
ole_variant mssql_get_safe_variant(const ole_variant& value);
