#include "csv_record.hpp"

#include <algorithm>
#include <memory>

#include "udb_schema.hpp"

csv_record::csv_record(const udb_schema& schema) : udb_record(schema), schema(&schema) {
  for (std::size_t i = 0; i < schema.field_count(); ++i) {
    udb_field& field = add_field(std::make_unique<udb_field>());
    field.set_null();
  }
}

csv_record::csv_record(const udb_schema& schema, const csv_fields& fields) : csv_record(schema) {
  fill(fields);
}

void csv_record::fill(const csv_fields& fields) {
  const std::size_t columns = schema->field_count();
  const std::size_t taken = columns == 0 ? fields.count() : std::min(fields.count(), columns);
  if (columns == 0) {
    // Without columns the row is as wide as the record, named F1, F2, ...
    truncate(taken);
    while (field_count() < taken) {
      udb_field& field = add_field(std::make_unique<udb_field>());
      field.name = L"F" + std::to_wstring(field_count());
    }
  }
  for (std::size_t i = 0; i < taken; ++i) {
    udb_field& field = field_at(i);
    const std::wstring_view text = fields.field(i);
    field.set_text(text);
    field.size = static_cast<std::int32_t>(text.size());
  }
  for (std::size_t i = taken; i < columns; ++i) {
    udb_field& field = field_at(i);
    field.set_null();
    field.size = 0;
  }
}
