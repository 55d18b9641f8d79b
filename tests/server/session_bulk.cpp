// The BULK LOAD message that follows an "insert bulk" statement, parsed as it streams in.
#include <mutex>

#include "session.hpp"
#include "tds_text.hpp"

namespace tds {
namespace {

// An attention packet in the middle of a bulk-load message.
struct bulk_cancelled {};

}  // namespace

void session::bulk(packet first) {
  // The stream is parsed as it arrives: a row cut by a packet boundary is parsed again once the
  // next packet is in, so no whole message is ever held. The engine is locked while the rows of one
  // packet are checked, never while waiting for the client.
  std::string buf = std::move(first.payload);
  size_t pos = 0;
  bool eom = first.eom;
  std::vector<bulk_column> columns;
  std::vector<int> target;  // table column of each client column
  engine::batch pending;
  std::string error_text;
  int error_number = 0, error_state = 1, error_class = 16;
  bool failed = false;
  if (!bulk_pending_) {
    failed = true;
    error_number = 4804;
    error_text =
        "While reading current row from host, a premature end-of-message was encountered--an "
        "incoming data stream was interrupted when the server expected to see more data. The host "
        "program may have terminated. Ensure that you are using a supported client application "
        "programming interface (API).";
  }
  bulk_pending_ = false;
  const std::string db_name = bulk_db_;
  const int32_t table_id = bulk_table_;
  const std::string table_name = bulk_table_shown_;
  uint64_t count = 0;
  std::vector<value> row, full;
  std::vector<bool> given;
  std::unique_lock<std::mutex> lock(engine_.mutex(), std::defer_lock);
  database* d = nullptr;
  table* t = nullptr;
  std::string qualified_name;
  auto locked_table = [&]() -> table& {
    if (!lock.owns_lock()) {
      lock.lock();
      d = engine_.find_db(db_name);
      t = d ? d->find_id(table_id) : nullptr;
      if (t) qualified_name = d->name + "." + t->schema + "." + t->name;
    }
    if (!t) throw sql_error(208, 16, 1, "Invalid object name '" + table_name + "'.");
    return *t;
  };
  auto refill = [&] {
    if (lock.owns_lock()) lock.unlock();
    if (eom) throw protocol_error("bulk load stream ends inside a token");
    packet p;
    if (!read_packet(p)) throw protocol_error("connection closed inside a bulk load");
    if (p.type == pkt_attention) throw bulk_cancelled();
    if (p.type != pkt_bulk) throw protocol_error("packet type changed inside a bulk load");
    buf.erase(0, pos);
    pos = 0;
    if (buf.size() + p.payload.size() > k_max_value_bytes * 2)
      throw protocol_error("bulk row too large");
    buf += p.payload;
    eom = p.eom;
  };
  try {
    for (;;) {
      if (pos >= buf.size()) {
        if (eom) break;
        refill();
        continue;
      }
      reader r(std::string_view(buf).substr(pos));
      try {
        uint8_t tok = r.u8();
        if (tok == tok_colmetadata) {
          columns = read_colmetadata(r);
          pos += r.position();
          target.clear();
          if (!failed) {
            table& tt = locked_table();
            for (size_t i = 0; i < columns.size(); ++i) {
              const std::string& n =
                  i < bulk_columns_.size() ? bulk_columns_[i] : columns[i].column.name;
              int idx = tt.find_column(n);
              if (idx < 0) throw sql_error(207, 16, 1, "Invalid column name '" + n + "'.");
              target.push_back(idx);
            }
          }
        } else if (tok == tok_row) {
          if (columns.empty()) throw protocol_error("ROW before COLMETADATA");
          row.resize(columns.size());
          for (size_t i = 0; i < columns.size(); ++i) row[i] = read_value(r, columns[i]);
          pos += r.position();
          if (!failed) {
            table& tt = locked_table();
            full.assign(tt.columns.size(), value{});
            given.assign(tt.columns.size(), false);
            bool identity_given = false;
            for (size_t i = 0; i < columns.size(); ++i) {
              auto c = static_cast<size_t>(target[i]);
              const column& col = tt.columns[c];
              if (col.identity && !bulk_keep_identity_) continue;
              if (col.identity) identity_given = true;
              value& v = row[i];
              given[c] = true;
              // Without KEEP_NULLS a NULL takes the column's default, as SQL Server's bulk load
              // does.
              if (v.is_null() && !bulk_keep_nulls_ && col.has_default) full[c] = col.default_value;
              if (v.is_null()) continue;
              if ((col.type.is_string() || col.type.is_binary()) && !col.type.is_long()) {
                size_t n = col.type.is_unicode()  ? utf16_length(v.s)
                           : col.type.is_string() ? code_points(v.s)
                                                  : v.s.size();
                if (n > static_cast<size_t>(col.type.length))
                  throw sql_error(
                      4815, 16, 1,
                      "Received an invalid column length from the bcp client for colid " +
                          std::to_string(i + 1) + ".");
              }
              // The client usually sends the column's own type: only the conversion-free cases skip
              // convert.
              const sql_type& sent = columns[i].column.type;
              bool same = sent.id == col.type.id && !col.type.is_exact_numeric() &&
                          col.type.id != type_id::char_ && col.type.id != type_id::nchar &&
                          col.type.id != type_id::binary &&
                          (!col.type.is_temporal() || sent.scale == col.type.scale ||
                           col.type.id == type_id::date);
              full[c] = same ? std::move(v) : convert(v, col.type, qualified_name, col.name);
            }
            for (size_t c = 0; c < tt.columns.size(); ++c)
              if (!given[c] && !tt.columns[c].identity && tt.columns[c].has_default)
                full[c] = tt.columns[c].default_value;
            engine_.add_row(*d, tt, pending, full, identity_given, bulk_check_constraints_);
            ++count;
          }
        } else if (tok == tok_done || tok == tok_doneinproc || tok == tok_doneproc) {
          r.skip(12);
          pos += r.position();
        } else {
          throw protocol_error("unexpected token in bulk load");
        }
      } catch (const truncated_error&) {
        refill();
      } catch (const sql_error& e) {
        // The batch is lost; the rest of the stream is read and dropped so the connection stays
        // usable.
        if (!failed) {
          failed = true;
          error_number = e.number;
          error_state = e.state;
          error_class = e.cls;
          error_text = e.what();
        }
      }
    }
  } catch (const protocol_error&) {
    // The connection ends; the keys the unfinished batch had claimed must not outlive it.
    if (!lock.owns_lock()) lock.lock();
    d = engine_.find_db(db_name);
    t = d ? d->find_id(table_id) : nullptr;
    if (t) engine_.rollback(*t, pending);
    throw;
  } catch (const bulk_cancelled&) {
    // The client cancelled: the batch is dropped and the attention acknowledged.
    if (!lock.owns_lock()) lock.lock();
    d = engine_.find_db(db_name);
    t = d ? d->find_id(table_id) : nullptr;
    if (t) engine_.rollback(*t, pending);
    lock.unlock();
    std::string out;
    write_done(out, tok_done, done_attn, 0, 0);
    send(pkt_reply, out);
    return;
  }
  std::string out;
  if (!lock.owns_lock()) lock.lock();
  d = engine_.find_db(db_name);
  t = d ? d->find_id(table_id) : nullptr;
  if (!failed) {
    if (t) engine_.commit(*t, pending);
    write_done(out, tok_done, done_count, 0, count);
  } else {
    if (t) engine_.rollback(*t, pending);
    message(out, true, error_number, error_state, error_class, error_text);
    write_done(out, tok_done, done_error, 0, 0);
  }
  lock.unlock();
  send(pkt_reply, out);
}

}  // namespace tds
