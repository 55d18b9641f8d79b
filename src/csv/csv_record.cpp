#include "csv_record.hpp"

#include <algorithm>
#include <memory>

#include "udb_schema.hpp"

csv_record::csv_record(const udb_schema& schema, const csv_fields& fields) : schema(&schema) {
  const std::size_t columns = schema.field_count();
  const std::size_t taken = columns == 0 ? fields.count() : std::min(fields.count(), columns);
  for (std::size_t i = 0; i < taken; ++i) {
    std::wstring name = columns == 0 ? L"F" + std::to_wstring(i + 1) : schema.field_at(i).name;
    const std::wstring_view text = fields.field(i);
    add_field(std::make_unique<udb_field>(std::move(name), static_cast<std::int32_t>(text.size()),
                                          ole_variant(std::wstring(text)), false, false));
  }
  for (std::size_t i = taken; i < columns; ++i) {
    ole_variant null;
    null.variant.vt = VT_NULL;
    add_field(
        std::make_unique<udb_field>(schema.field_at(i).name, 0, std::move(null), false, false));
  }
}
