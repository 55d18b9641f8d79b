#include "mss_fast_load.hpp"

#include <sybdb.h>

#include "tk_mail_assertion.hpp"
#include "tk_trace.hpp"

mss_fast_load::mss_fast_load() = default;

mss_fast_load::~mss_fast_load() = default;  // the bulk copy ends itself

void mss_fast_load::open_table(odb_connection& connection, const std::string& bracketed_name,
                               const std::vector<int>& host_types, bool b_keep_identity) {
  tk_trace(1, "mss_fast_load::open_table");
  TK_ASSERT(!is_open());
  connection_ = &connection;
  auto copy = std::make_unique<odb_bulk_copy>(connection, bracketed_name);
  if (b_keep_identity && bcp_control(connection.get(), BCPKEEPIDENTITY, 1) == FAIL)
    connection.raise("Identity values cannot be kept by the bulk copy.");
  // Without KEEP_NULLS the server puts a column's default where a NULL was
  // sent, so the same row would land differently through INSERT.
  static char keep_nulls[] = "KEEP_NULLS";
  if (bcp_options(connection.get(), BCPHINTS, reinterpret_cast<BYTE*>(keep_nulls),
                  static_cast<int>(sizeof keep_nulls - 1)) == FAIL)
    connection.raise("The bulk copy could not be asked to keep NULL values.");
  for (std::size_t i = 0; i < host_types.size(); ++i)
    copy->bind(static_cast<int>(i + 1), host_types[i]);
  host_types_ = host_types;
  copy_ = std::move(copy);
  pending_.clear();
  tk_trace(1, "b_open_table->true");
}

bool mss_fast_load::insert_data(mss_bulk_row row) {
  tk_trace(1, "mss_fast_load::insert_data");
  TK_ASSERT(is_open());
  TK_ASSERT(row.cells.size() == host_types_.size());
  try {
    for (std::size_t i = 0; i < row.cells.size(); ++i) {
      const int ordinal = static_cast<int>(i + 1);
      const mss_encoded_value& c = row.cells[i];
      switch (c.kind) {
        case mss_encoded_value::null_value:
          copy_->set_null(ordinal);
          break;
        case mss_encoded_value::empty_value:
          copy_->set_empty(ordinal);
          break;
        case mss_encoded_value::bytes_value:
          copy_->set_value(ordinal, c.bytes.data(), static_cast<std::int32_t>(c.bytes.size()));
          break;
      }
    }
    pending_.push_back(std::move(row));
    copy_->send_row();
  } catch (const odb_exception&) {
    // A row that failed on its way loses the whole batch.
    tk_trace(1, "bcp_sendrow failed: the batch is lost and will be replayed");
    fail_batch();
    return false;
  }
  if (static_cast<long>(pending_.size()) >= batch_size) return commit_batch(false);
  return true;
}

bool mss_fast_load::commit_batch(bool b_final) {
  TK_ASSERT(is_open());
  try {
    long n = b_final ? copy_->done() : copy_->batch();
    tk_trace(1, "Batch committed: %ld rows", n);
    rows_committed_ += static_cast<long>(pending_.size());
    pending_.clear();
    if (b_final) copy_.reset();
    return true;
  } catch (const odb_exception&) {
    tk_trace(1, "bcp_batch/bcp_done refused the batch: it will be replayed");
    fail_batch();
    return false;
  }
}

void mss_fast_load::fail_batch() {
  last_errors_ = connection_->messages();
  // The stream cannot go on after a refused batch: end it and start afresh
  // on a clean session.
  if (copy_) {
    if (copy_->is_open()) {
      try {
        copy_->done();
      } catch (const odb_exception&) {
      }
    }
    copy_.reset();
  }
  failed_ = std::move(pending_);
  pending_.clear();
}

bool mss_fast_load::close_table() {
  tk_trace(1, "mss_fast_load::close_table");
  if (!is_open()) return true;
  tk_trace(1, "Committing the last batch (bcp_done)");
  bool ok = commit_batch(true);
  tk_trace(1, "mss_fast_load::close_table - at the end");
  return ok;
}

std::vector<mss_bulk_row> mss_fast_load::take_failed_batch() {
  std::vector<mss_bulk_row> out = std::move(failed_);
  failed_.clear();
  return out;
}
