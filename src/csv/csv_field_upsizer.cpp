#include "csv_field_upsizer.hpp"

#include <algorithm>

#include "tk_mail_assertion.hpp"
#include "tk_trace.hpp"
#include "udb_record.hpp"
#include "udb_recordset.hpp"

csv_field_upsizer::csv_field_upsizer(udb_database* database, udb_recordset* table)
    : database_(database), table_(table) {
  tk_trace(2, "csv_field_upsizer::ctor");
  TK_ASSERT(database != nullptr && table != nullptr);
}

csv_field_upsizer::~csv_field_upsizer() = default;

std::int32_t csv_field_upsizer::value_size(const udb_field& value) const {
  return static_cast<std::int32_t>(value.to_wstring().size());
}

std::int32_t csv_field_upsizer::column_limit(std::size_t position) const {
  return table_->get_schema().field_at(position).size;
}

void csv_field_upsizer::process(const udb_record& record) {
  tk_trace(1, "csv_field_upsizer::process");
  udb_schema& columns = table_->get_schema();
  // An existing table reused for a merge may have fewer columns than the
  // file; its values past the last column are never written.
  const std::size_t count = std::min(record.field_count(), columns.field_count());
  for (std::size_t i = 0; i < count; ++i) {
    if (columns.field_at(i).vartype != VT_BSTR) continue;
    const udb_field& value = record.field_at(i);
    if (value.get_type() == VT_EMPTY || value.get_type() == VT_NULL) continue;
    const std::int32_t limit = column_limit(i);
    if (limit <= 0) continue;  // already long
    const std::int32_t needed = value_size(value);
    tk_trace(1, "Field size: %d", needed);
    if (needed <= limit) continue;
    tk_trace(1, "csv_field_upsizer::process - upsize field #%d", static_cast<int>(i));
    const std::int32_t new_size =
        needed <= max_short_text && limit < max_short_text ? max_short_text : 0;
    do_upsize(i, new_size);
    columns.field_at(i).size = new_size;
  }
}
