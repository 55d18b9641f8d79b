#include "mss_field_upsizer.hpp"

#include "mss_database.hpp"
#include "mss_engine.hpp"
#include "mss_table.hpp"
#include "tk_mail_assertion.hpp"
#include "tk_text.hpp"
#include "tk_trace.hpp"

std::int32_t mss_utf16_length(const std::wstring& text) {
  std::int32_t n = 0;
  for (wchar_t c : text) n += static_cast<std::uint32_t>(c) > 0xFFFF ? 2 : 1;
  return n;
}

namespace {

// The size a worksheet's text column has; the first widening step.
constexpr std::int32_t first_step = 255;

}  // namespace

mss_field_upsizer::mss_field_upsizer(udb_database& database, udb_recordset& table)
    : database_(dynamic_cast<mss_database*>(&database)), table_(dynamic_cast<mss_table*>(&table)) {
  tk_trace(1, "mss_field_upsizer::ctor");
  TK_ASSERT(database_ != nullptr && table_ != nullptr);
}

mss_field_upsizer::~mss_field_upsizer() = default;

void mss_field_upsizer::process(const udb_record& record) {
  tk_trace(1, "csv_field_upsizer::process");
  const udb_schema& schema = table_->get_schema();
  const auto& columns = table_->columns();
  for (std::size_t i = 0;
       i < record.field_count() && i < schema.field_count() && i < columns.size(); ++i) {
    const t_ftd& f = schema.field_at(i);
    if (f.vartype != VT_BSTR || columns[i].b_long) continue;
    const udb_field& value = record.field_at(i);
    if (value.get_type() == VT_EMPTY || value.get_type() == VT_NULL) continue;
    const std::int32_t needed = mss_utf16_length(value.to_wstring());
    tk_trace(1, "Field size: %d", needed);
    // A table that existed before the run is widened only for values beyond
    // what a worksheet's text column holds; a value that merely exceeds its
    // narrower column then fails its row like any other too-long value.
    const std::int32_t limit =
        table_->is_created() ? columns[i].length : std::max(columns[i].length, first_step);
    if (needed > limit) {
      tk_trace(1, "csv_field_upsizer::process - upsize field #%d", static_cast<int>(i));
      do_upsize(i, needed);
    }
  }
}

void mss_field_upsizer::do_upsize(std::size_t position, std::int32_t needed) {
  tk_trace(1, "mss_field_upsizer::do_upsize");
  const t_ftd& f = table_->get_schema().field_at(position);
  const std::int32_t current = table_->columns().at(position).length;
  const std::int32_t new_size = needed <= first_step && current < first_step ? first_step : 0;
  const std::string sql =
      "ALTER TABLE " + tk_w2utf8(table_->get_name()) + " ALTER COLUMN " + mss_bracket_utf8(f.name) +
      (new_size ? " NVARCHAR(255)" : " NVARCHAR(MAX)") + (f.b_not_null ? " NOT NULL" : " NULL");
  // The bulk copy knows the old column: commit it before the change.
  table_->flush();
  database_->execute(sql);
  ++statements_;
  table_->set_column_size(position, new_size);
}
