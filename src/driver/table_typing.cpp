#include "table_typing.hpp"

#include <cstdio>

#include "csv_file.hpp"
#include "dao_recordset.hpp"
#include "t_ftd.hpp"
#include "tk_exception.hpp"
#include "tk_text.hpp"
#include "tk_trace.hpp"
#include "typed_value.hpp"
#include "udb_record.hpp"
#include "udb_schema.hpp"

namespace {

// The VT_ type the destination reads a verdict's column back as.
VARTYPE vartype_of(const column_verdict& verdict) {
  switch (verdict.type) {
    case column_type::bit:
      return VT_BOOL;
    case column_type::int32:
      return VT_I4;
    case column_type::int64:
      return VT_I8;
    case column_type::decimal:
      return VT_DECIMAL;
    case column_type::floating:
      return VT_R8;
    case column_type::money:
      return VT_CY;
    case column_type::date:
    case column_type::datetime2:
    case column_type::time:
    case column_type::datetime:
      return VT_DATE;
    default:
      return VT_BSTR;
  }
}

bool keeps_values(const column_verdict& verdict) {
  return verdict.type == column_type::text || verdict.type == column_type::as_declared;
}

std::string decimal_text(__int128 value, int scale) {
  const bool b_negative = value < 0;
  unsigned __int128 magnitude =
      b_negative ? static_cast<unsigned __int128>(-(value + 1)) + 1 : static_cast<unsigned __int128>(value);
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(magnitude % 10)));
    magnitude /= 10;
  } while (magnitude != 0);
  if (scale > 0) {
    if (static_cast<int>(digits.size()) <= scale)
      digits.insert(0, static_cast<std::size_t>(scale) + 1 - digits.size(), '0');
    digits.insert(digits.size() - static_cast<std::size_t>(scale), 1, '.');
  }
  return b_negative ? "-" + digits : digits;
}

// hh:mm:ss and the first `digits` digits of the fraction.
std::string time_text(const typed_value& value, int digits) {
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d.%07u", value.hour, value.minute, value.second,
                static_cast<unsigned>(value.fraction));
  std::string out(text);
  out.resize(digits > 0 ? 9 + static_cast<std::size_t>(digits) : 8);
  return out;
}

std::string date_part(const typed_value& value) {
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", value.year, value.month, value.day);
  return text;
}

// The written form a typed column takes exactly, whatever the server's
// language and date format.
std::string exact_text(const typed_value& value, const column_verdict& verdict) {
  switch (verdict.type) {
    case column_type::decimal:
      return decimal_text(value.decimal, verdict.scale);
    case column_type::date:
      return date_part(value);
    case column_type::datetime2:
      return date_part(value) + " " + time_text(value, verdict.scale);
    case column_type::time:
      return time_text(value, verdict.scale);
    default:  // datetime: the T form is read alike in every language
      return date_part(value) + "T" + time_text(value, 3);
  }
}

ole_variant typed_variant(const typed_value& value, const column_verdict& verdict) {
  if (value.b_null) {
    ole_variant null;
    null.variant.vt = VT_NULL;
    return null;
  }
  switch (verdict.type) {
    case column_type::bit:
      return ole_variant(value.integer != 0);
    case column_type::int32:
      return ole_variant(static_cast<int>(value.integer));
    case column_type::int64:
      return ole_variant(static_cast<long long>(value.integer));
    case column_type::floating:
      return ole_variant(value.real);
    case column_type::money: {
      CY money{};
      money.int64 = value.integer;
      return ole_variant(money);
    }
    default:
      return ole_variant(exact_text(value, verdict));
  }
}

}  // namespace

table_typing::table_typing(const std::wstring& table, const std::vector<column_classifier>& columns,
                           const classify_options& options, bool b_cells) {
  verdicts_.reserve(columns.size());
  names_.reserve(columns.size());
  for (const column_classifier& column : columns) {
    column_verdict verdict = column.verdict(options);
    tk_trace(3, L"Table %ls, column '%ls': %ls", table.c_str(), column.name().c_str(),
             verdict.explain().c_str());
    const bool b_converts =
        b_cells ? verdict.type == column_type::int32 || verdict.type == column_type::int64 ||
                      verdict.type == column_type::date
                : !keeps_values(verdict);
    converts_.push_back(b_converts);
    b_typed_ |= b_converts;
    names_.push_back(column.name());
    verdicts_.push_back(std::move(verdict));
  }
}

table_typing table_typing::classify_csv(const std::wstring& table, csv_file& pass,
                                        const classify_options& options) {
  tk_trace(2, L"table_typing::classify_csv(%ls)", table.c_str());
  const udb_schema& schema = pass.get_schema();
  std::vector<column_classifier> columns;
  columns.reserve(schema.field_count());
  for (std::size_t i = 0; i < schema.field_count(); ++i)
    columns.emplace_back(schema.field_at(i).name);
  for (; !pass.is_eof(); pass.move_next()) {
    const csv_fields* fields = pass.current_fields();
    if (!fields) continue;
    for (std::size_t i = 0; i < columns.size(); ++i)
      columns[i].add_text(i < fields->count() ? fields->field(i) : std::wstring_view());
  }
  return table_typing(table, columns, options, false);
}

table_typing table_typing::classify_sheet(const std::wstring& table, dao_recordset& sheet,
                                          const classify_options& options) {
  tk_trace(2, L"table_typing::classify_sheet(%ls)", table.c_str());
  const udb_schema& schema = sheet.get_schema();
  std::vector<column_classifier> columns;
  std::vector<bool> b_time_only;
  columns.reserve(schema.field_count());
  for (std::size_t i = 0; i < schema.field_count(); ++i) {
    columns.emplace_back(schema.field_at(i).name);
    b_time_only.push_back(schema.field_at(i).extra == t_ftd::extra_time_only);
  }
  sheet.move_first();
  for (; !sheet.is_eof(); sheet.move_next()) {
    const udb_record* record = sheet.create_record();
    if (!record) break;
    for (std::size_t i = 0; i < columns.size() && i < record->field_count(); ++i)
      if (!b_time_only[i]) columns[i].add_cell(record->field_at(i).variant);
  }
  sheet.move_first();
  // Durations are times already; a date classifier would make them dates.
  table_typing typing(table, columns, options, true);
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (!b_time_only[i]) continue;
    typing.verdicts_[i].type = column_type::as_declared;
    typing.converts_[i] = false;
  }
  return typing;
}

std::unique_ptr<udb_schema> table_typing::typed_schema(const udb_schema& source) const {
  auto schema = std::make_unique<udb_schema>(true);
  for (std::size_t i = 0; i < source.field_count(); ++i) {
    const t_ftd& from = source.field_at(i);
    auto column = std::make_unique<t_ftd>(from);
    if (i < verdicts_.size() && verdicts_[i].type != column_type::as_declared) {
      const column_verdict& verdict = verdicts_[i];
      column->vartype = vartype_of(verdict);
      column->sql_type = verdict.sql_type();
      column->size = verdict.is_text() ? (verdict.is_long_text() ? 0 : verdict.length) : 0;
      column->extra = verdict.type == column_type::decimal ? verdict.precision * 256 + verdict.scale : 0;
      // A default of the source's type need not be one of the new type.
      if (!keeps_values(verdict)) column->def_value = ole_variant();
    }
    schema->add_field(std::move(column));
  }
  return schema;
}

void table_typing::convert(udb_record& record) const {
  typed_value value;
  for (std::size_t i = 0; i < verdicts_.size() && i < record.field_count(); ++i) {
    const column_verdict& verdict = verdicts_[i];
    if (!converts_[i]) continue;
    udb_field& field = record.field_at(i);
    const bool b_text = field.get_type() == VT_BSTR || field.get_type() == VT_EMPTY ||
                        field.get_type() == VT_NULL;
    const bool b_done = b_text && verdict.type != column_type::money
                            ? typed_value::from_text(field.to_wstring(), verdict, value)
                            : typed_value::from_cell(field.variant, verdict, value);
    if (!b_done)
      throw tk_exception("Column '" + tk_w2a(names_[i]) + "': the value '" +
                             tk_w2a(field.to_wstring()) + "' does not convert to " +
                             verdict.sql_type() + ", so the row was not loaded.",
                         tk_level_item);
    static_cast<ole_variant&>(field) = typed_variant(value, verdict);
  }
}
