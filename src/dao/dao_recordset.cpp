#include "dao_recordset.hpp"

#include "dao_field.hpp"
#include "dao_record.hpp"
#include "t_ftd.hpp"
#include "tk_exception.hpp"
#include "tk_trace.hpp"

dao_recordset::dao_recordset(const std::wstring& name, const std::wstring& sql,
                             const wb_workbook& book, std::size_t sheet,
                             std::optional<wb_area> area, bool b_header)
    : udb_recordset(name, sql, true), table_(book, sheet, area, b_header) {
  tk_trace(1, L"dao_recordset::dao_recordset(%ls)", name.c_str());
  record_count_ = static_cast<std::int32_t>(table_.record_count());
  tk_trace(2, "Got records count: %d", record_count_);
  init_schema();
  init_indexes();
  current_ = std::make_unique<dao_record>(schema, dao_types_, sizes_);
  restart();
}

dao_recordset::~dao_recordset() = default;

void dao_recordset::init_schema() {
  tk_trace(1, "dao_recordset::init_schema( DAOTableDef * )");
  const auto& columns = table_.columns();
  for (std::size_t i = 0; i < columns.size(); ++i) {
    int type = dao_field::db_text;
    std::int32_t size = 255;
    std::int32_t extra = 0;
    switch (columns[i].type) {
      case wb_column_type::text:
        type = dao_field::db_text;
        size = 255;
        break;
      case wb_column_type::long_text:
        type = dao_field::db_memo;
        size = 0;
        break;
      case wb_column_type::number:
        type = dao_field::db_double;
        size = 8;
        break;
      case wb_column_type::currency:
        type = dao_field::db_currency;
        size = 8;
        break;
      case wb_column_type::date:
        type = dao_field::db_date;
        size = 8;
        break;
      case wb_column_type::boolean:
        type = dao_field::db_boolean;
        size = 1;
        break;
      case wb_column_type::time:
        type = dao_field::db_time;
        size = 8;
        extra = t_ftd::extra_time_only;
        break;
    }
    tk_trace(1, "Field #%d: size=%d, DAO type=%d, default value=%s", static_cast<int>(i), size,
             type, "");
    dao_types_.push_back(type);
    sizes_.push_back(size);
    schema.add_field(std::make_unique<t_ftd>(size, columns[i].name, dao_field::get_vartype(type),
                                             false, false, ole_variant(), extra));
  }
  tk_trace(1, "End of dao_recordset::init_schema");
}

void dao_recordset::init_indexes() {
  tk_trace(1, "dao_recordset::init_indexes");
  tk_trace(1, "Got %d indexes", 0);  // worksheets have none
  tk_trace(1, "End of dao_recordset::init_indexes");
}

void dao_recordset::read_row() {
  b_eof_ = !cursor_->next(values_);
  tk_trace(1, "dao_recordset::is_eof: %d", b_eof_ ? 1 : 0);
}

void dao_recordset::restart() {
  cursor_ = table_.rows();
  position_ = 0;
  read_row();
}

void dao_recordset::append_record(udb_record&) {
  throw tk_exception("Workbooks are read-only sources: no record can be appended", tk_level_run);
}

udb_record* dao_recordset::create_record() {
  tk_trace(1, "dao_recordset::create_record");
  if (b_eof_) return nullptr;
  current_->fill(values_);
  return current_.get();
}

bool dao_recordset::is_eof() { return b_eof_; }

void dao_recordset::move_next() {
  tk_trace(1, "dao_recordset::move_next");
  if (b_eof_) return;
  ++position_;
  read_row();
}

void dao_recordset::move_first() {
  tk_trace(1, "dao_recordset::move_first");
  if (record_count_ == 0) return;
  restart();
}

void dao_recordset::move_prev() {
  tk_trace(1, "dao_recordset::move_prev");
  // At the first row (BOF) nothing moves; the stream is forward-only, so the
  // row before is reached by reading again from the start.
  std::int64_t target = b_eof_ ? record_count_ - 1 : position_ - 1;
  if (target < 0) return;
  restart();
  while (position_ < target && !b_eof_) {
    ++position_;
    read_row();
  }
}
