#include "csv_field_upsizer.hpp"

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

void csv_field_upsizer::process(const udb_record& record) {
  tk_trace(1, "csv_field_upsizer::process");
  udb_schema& columns = table_->get_schema();
  for (std::size_t i = 0; i < record.field_count(); ++i) {
    const int size = record.field_at(i).size;
    tk_trace(1, "Field size: %d", size);
    if (size <= max_short_text || is_upsized(i)) continue;
    // An existing table reused for a merge may have fewer columns than the
    // file; its values past the last column are never written, so there is
    // nothing to widen.
    if (i >= columns.field_count()) continue;
    tk_trace(1, "csv_field_upsizer::process - upsize field #%d", static_cast<int>(i));
    do_upsize(columns.field_at(i));
    if (upsized.size() <= i) upsized.resize(i + 1, false);
    upsized[i] = true;
  }
}
