#include "mss_table.hpp"

#include <sybdb.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <cwctype>

#include "mss_engine.hpp"
#include "mss_field_upsizer.hpp"
#include "mss_table_columns.hpp"
#include "ole_date.hpp"
#include "tk_mail_assertion.hpp"
#include "tk_text.hpp"
#include "tk_trace.hpp"

namespace {

const char* const shape_error =
    "The structure of data source does not conform to the destination table.";


}  // namespace

mss_table::mss_table(const std::wstring& name, std::shared_ptr<odb_connection> connection, int mode,
                     udb_relationships* relationships)
    : odb_table(name, std::move(connection), mode, relationships), command_(*connection_) {
  tk_trace(2, L"mss_table::mss_table(%ls)", this->name.c_str());
  init_schema();
  std::wstring table, owner;
  if (!mss_split_tab_name(this->name, table, owner)) table = this->name;
  if ((mode & 0x60) != 0x60) init_indexes(table, owner);
  if (!(mode & 1)) {
    for (std::size_t i = 0; i < schema.field_count(); ++i)
      b_identity_ |= schema.field_at(i).b_auto_increment;
    b_primary_key_ = indexes.find_primary() >= 0;
  }
}

mss_table::mss_table(const std::wstring& name, const std::wstring& query,
                     std::shared_ptr<odb_connection> connection, int mode,
                     udb_relationships* relationships)
    : odb_table(name, query, std::move(connection), mode, relationships), command_(*connection_) {
  tk_trace(2, L"mss_table::mss_table(%ls)", this->name.c_str());
}

mss_table::~mss_table() {
  try {
    flush();
  } catch (const std::exception& e) {
    tk_trace(3, "mss_table::dtor: %s", e.what());
  }
  if (sender_.joinable()) {  // flush failed before it could join
    queue_.close();
    sender_.join();
  }
}

void mss_table::init_schema() {
  tk_trace(1, "mss_table::init_schema");
  std::wstring table, owner;
  if (!mss_split_tab_name(name, table, owner)) table = name;
  const bool b_build = schema.field_count() == 0;
  columns_.clear();
  for (mss_table_column& c : mss_table_columns::read(*connection_, table, owner)) {
    if (b_build)
      schema.add_field(std::make_unique<t_ftd>(c.size, c.info.name, c.vartype, c.info.b_not_null,
                                               false, ole_variant(), c.vartype == VT_DATE ? 1 : 0));
    if (!schema.find_field(c.info.name)) continue;
    t_ftd& f = schema.get_field(c.info.name);
    if (!c.default_text.empty()) {
      tk_trace(1, L"Got default string: %ls", c.default_text.c_str());
      const ole_variant def = mss_table_columns::default_value(f.vartype, c.default_text);
      if (f.vartype == VT_BSTR && f.size > 0 &&
          static_cast<std::int32_t>(def.to_wstring().size()) > f.size)
        tk_trace(2, L"Def.value '%ls' is out of range", def.to_wstring().c_str());
      else
        f.def_value = def;
    }
    f.b_auto_increment = c.b_identity;
    if (f.vartype == VT_DECIMAL) f.extra = c.info.precision * 256 + c.info.scale;
    c.info.def_value = f.def_value;
    columns_.push_back(std::move(c.info));
  }
  if (columns_.size() != schema.field_count()) columns_.resize(schema.field_count());
  encoder_ = mss_value_encoder(name, columns_);
}

ole_variant mssql_get_safe_variant(const ole_variant& value) {
  if (value.get_type() == VT_DATE) {
    SYSTEMTIME st;
    value.get_systemtime(st);
    // A pure time has no date at all; it is written on day 0 later.
    const bool b_time_only = st.wYear == 0 && st.wMonth == 0 && st.wDay == 0;
    if (!b_time_only && (st.wYear < 1753 || st.wYear > 9999)) {
      tk_trace(1, "Skip date-out-of-range");
      return ole_variant::from_string("9999-12-30", VT_DATE);
    }
  } else if (value.get_type() == VT_R8) {
    const double v = value.variant.dblVal;
    if (std::isnan(v)) return ole_variant();
    if (v != 0) {
      const double mag = std::fabs(v);
      if (mag < 2.23e-308) return ole_variant(std::copysign(2.23e-308, v));
      if (mag >= 1.79e308) return ole_variant(std::copysign(1.79e308, v));
    }
  }
  return value;
}

std::string mss_table::statement_prefix() const {
  std::string s = "SET QUOTED_IDENTIFIER OFF; ";
  if (b_identity_) s += "SET IDENTITY_INSERT " + tk_w2utf8(name) + " ON; ";
  return s;
}

std::string mss_table::insert_sql(const std::vector<mss_encoded_value>& values) const {
  std::string columns, list = " VALUES( ";
  for (std::size_t i = 0; i < schema.field_count(); ++i) {
    if (i) {
      columns += ", ";
      list += ", ";
    }
    columns += mss_bracket_utf8(schema.field_at(i).name);
    list += encoder_.literal(values[i], i);
  }
  return statement_prefix() + "INSERT INTO " + tk_w2utf8(name) + "(" + columns + ")" + list + ")";
}

const ole_variant& mss_table::value_for(const udb_record& record, std::size_t position) const {
  const t_ftd& f = schema.field_at(position);
  // Fields are matched by name; a record from a reader keeps the order.
  if (position < record.field_count() &&
      tk_compare_nocase(record.field_name(position), f.name) == 0)
    return record.field_at(position);
  if (record.find_field(f.name)) return record.get_field(f.name);
  if (position < record.field_count()) return record.field_at(position);
  tk_trace(1, L"Field %ls not found", f.name.c_str());
  throw tk_exception(shape_error, tk_level_item);
}

mss_bulk_row mss_table::encode_record(const udb_record& record, long record_number) const {
  mss_bulk_row row;
  row.record_number = record_number;
  row.cells.resize(schema.field_count());
  for (std::size_t i = 0; i < schema.field_count(); ++i)
    encoder_.encode(value_for(record, i), i, row.cells[i]);
  return row;
}

void mss_table::append_record(udb_record& record) { append_record(record, record_counter_ + 1); }

void mss_table::append_record(udb_record& record, long record_number) {
  record_counter_ = record_number;
  tk_trace(1, "mss_table::append_record(schema size=%d, record size=%d",
           static_cast<int>(schema.field_count()), static_cast<int>(record.field_count()));
  if (record.field_count() != schema.field_count()) throw tk_exception(shape_error, tk_level_item);
  // The encoder is this destination's one conversion: every value is
  // converted and checked before a byte is sent, the same way whichever
  // path the row then takes.
  mss_bulk_row row = encode_record(record, record_number);
  const mss_engine* engine = mss_engine::instance();
  if (engine && engine->fast_load() && !b_bulk_refused_)
    fast_append(std::move(row));
  else
    slow_record(row.cells);
}

void mss_table::slow_record(const std::vector<mss_encoded_value>& values) {
  if (schema.field_count() == 0) return;
  const std::string sql = insert_sql(values);
  tk_trace(3, "Run SQL query: %s\n", sql.c_str());
  command_.execute(sql);
  ++rows_by_sql_;
}

std::vector<int> mss_table::host_types() const {
  std::vector<int> types;
  for (std::size_t i = 0; i < encoder_.column_count(); ++i) types.push_back(encoder_.host_type(i));
  return types;
}

void mss_table::fast_append(mss_bulk_row row) {
  deliver_reports();
  if (!sender_.joinable()) {
    if (!fast_load_.is_open()) {
      try {
        if (!b_prefix_sent_) {
          command_.execute(statement_prefix());
          b_prefix_sent_ = true;
        }
        fast_load_.open_table(*connection_, tk_w2utf8(name), host_types(), b_identity_);
      } catch (const odb_exception& e) {
        // A server that refuses bulk copy still takes INSERT statements.
        tk_trace(2, "The bulk copy could not start (%08X); rows go as INSERT statements",
                 e.code());
        if (connection_->is_dead()) throw;
        b_bulk_refused_ = true;
        slow_record(row.cells);
        return;
      }
    }
    start_sender();
  }
  hand_over_.push_back(std::move(row));
  if (hand_over_.size() >= rows_per_hand_over) {
    std::vector<mss_bulk_row> batch;
    batch.reserve(rows_per_hand_over);
    batch.swap(hand_over_);
    if (!queue_.push(std::move(batch))) stop_sender();  // the sender gave up: say why
  }
}

void mss_table::start_sender() {
  queue_.reopen();
  sender_failure_ = nullptr;
  sender_ = std::thread([this] { send_batches(); });
}

void mss_table::send_batches() {
  std::vector<mss_bulk_row> batch;
  while (queue_.pop(batch)) {
    try {
      for (mss_bulk_row& row : batch) send_row(std::move(row));
    } catch (...) {
      // The run cannot go on (the session is lost): nothing more is sent,
      // and the reader hears of it at its next call.
      sender_failure_ = std::current_exception();
      queue_.close();
      return;
    }
  }
}

void mss_table::send_row(mss_bulk_row row) {
  if (!fast_load_.is_open()) {
    // A refused batch ended the copy: the next row starts a new one.
    if (!b_prefix_sent_) {
      command_.execute(statement_prefix());
      b_prefix_sent_ = true;
    }
    fast_load_.open_table(*connection_, tk_w2utf8(name), host_types(), b_identity_);
  }
  if (!fast_load_.insert_data(std::move(row))) replay_failed_batch();
}

void mss_table::stop_sender() {
  if (!sender_.joinable()) return;
  if (!hand_over_.empty()) {
    queue_.push(std::move(hand_over_));
    hand_over_.clear();
  }
  queue_.close();
  sender_.join();
  deliver_reports();
  if (sender_failure_) {
    std::exception_ptr failure = sender_failure_;
    sender_failure_ = nullptr;
    std::rethrow_exception(failure);
  }
}

void mss_table::replay_failed_batch() {
  std::vector<mss_bulk_row> rows = fast_load_.take_failed_batch();
  // A batch lost with the session (a dead or silent server) is not a batch
  // the server refused: replaying it would only wait for the server again.
  if (odb_is_connection_failure(fast_load_.last_errors()))
    throw odb_exception(fast_load_.last_errors(), "The connection to the server was lost.",
                        tk_level_run);
  tk_trace(2, "Replaying %d rows of a refused batch one by one", static_cast<int>(rows.size()));
  bool b_healthy = !connection_->is_dead();
  if (b_healthy) {
    try {
      connection_->execute("SELECT 1");
    } catch (const odb_exception&) {
      b_healthy = false;
    }
  }
  if (!b_healthy) {
    const mss_engine* engine = mss_engine::instance();
    TK_ASSERT(engine != nullptr);
    *connection_ = std::move(*engine->test_connection(connection_->database()));
  }
  b_prefix_sent_ = false;
  for (const mss_bulk_row& row : rows) {
    try {
      slow_record(row.cells);
    } catch (const tk_exception& e) {
      report(e, row.record_number);
    }
  }
}

void mss_table::report(const tk_exception& error, long record_number) {
  tk_trace(3, "Record %ld of a bulk batch failed: %s", record_number, error.what());
  // Found on the sending thread; the sink belongs to the reading one.
  std::lock_guard lock(reports_mutex_);
  reports_.emplace_back(error, record_number);
}

void mss_table::deliver_reports() {
  std::vector<std::pair<tk_exception, long>> reports;
  {
    std::lock_guard lock(reports_mutex_);
    reports.swap(reports_);
  }
  for (const auto& [error, record_number] : reports) {
    if (sink_) {
      sink_(error, name, record_number);
    } else if (!first_deferred_) {
      first_deferred_ = std::make_unique<tk_exception>(error);
    }
  }
}

void mss_table::flush() {
  stop_sender();
  if (fast_load_.is_open() && !fast_load_.close_table()) replay_failed_batch();
  deliver_reports();
}

void mss_table::close() {
  flush();
  // A session allows IDENTITY_INSERT on one table at a time: leave it off so
  // the next table loaded on this connection can turn it on.
  if (b_identity_ && (b_prefix_sent_ || rows_by_sql_ > 0)) {
    command_.execute("SET IDENTITY_INSERT " + tk_w2utf8(name) + " OFF");
    b_prefix_sent_ = false;
  }
  if (first_deferred_) {
    tk_exception e = *first_deferred_;
    first_deferred_.reset();
    throw e;
  }
}

void mss_table::set_column_size(std::size_t position, std::int32_t new_size) {
  TK_ASSERT(position < schema.field_count() && position < columns_.size());
  TK_ASSERT(!fast_load_.is_open());
  schema.field_at(position).size = new_size;
  columns_[position].length = new_size;
  columns_[position].b_long = new_size == 0;
  columns_[position].b_unicode = true;
  columns_[position].type_name = "nvarchar";
  encoder_.set_column(position, columns_[position]);
}
