#include "mss_field_upsizer.hpp"

#include <algorithm>

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

mss_field_upsizer::mss_field_upsizer(udb_database& database, udb_recordset& table)
    : csv_field_upsizer(&database, &table),
      database_(dynamic_cast<mss_database*>(&database)),
      table_(dynamic_cast<mss_table*>(&table)) {
  tk_trace(1, "mss_field_upsizer::ctor");
  TK_ASSERT(database_ != nullptr && table_ != nullptr);
}

mss_field_upsizer::~mss_field_upsizer() = default;

std::int32_t mss_field_upsizer::value_size(const udb_field& value) const {
  return mss_utf16_length(value.to_wstring());
}

std::int32_t mss_field_upsizer::column_limit(std::size_t position) const {
  const auto& columns = table_->columns();
  if (position >= columns.size() || columns[position].b_long) return 0;
  const std::int32_t length = columns[position].length;
  return table_->is_created() ? length : std::max(length, max_short_text);
}

void mss_field_upsizer::do_upsize(std::size_t position, std::int32_t new_size) {
  tk_trace(1, "mss_field_upsizer::do_upsize");
  const t_ftd& f = table_->get_schema().field_at(position);
  const std::string sql =
      "ALTER TABLE " + tk_w2utf8(table_->get_name()) + " ALTER COLUMN " + mss_bracket_utf8(f.name) +
      (new_size ? " NVARCHAR(" + std::to_string(new_size) + ")" : " NVARCHAR(MAX)") + (f.b_not_null ? " NOT NULL" : " NULL");
  // The bulk copy knows the old column: commit it before the change.
  table_->flush();
  database_->execute(sql);
  ++statements_;
  table_->set_column_size(position, new_size);
}
