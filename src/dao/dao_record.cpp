#include "dao_record.hpp"

#include <cmath>
#include <memory>

#include "dao_field.hpp"
#include "ole_datetime.hpp"
#include "tk_trace.hpp"
#include "udb_schema.hpp"

namespace {
// Sets `field` to `v` in place; the field keeps its text buffer.
void put(const wb_value& v, udb_field& field) {
  switch (v.kind) {
    case wb_value::kind_t::null:
      field.set_null();
      return;
    case wb_value::kind_t::number:
      field.assign(ole_variant(v.number));
      return;
    case wb_value::kind_t::currency: {
      double scaled = std::round(v.number * CY_SCALE);
      // An amount beyond what currency holds stays a plain number.
      if (!(std::fabs(scaled) < 9.2e18)) {
        field.assign(ole_variant(v.number));
        return;
      }
      field.assign(ole_variant(CY{static_cast<std::int64_t>(scaled)}));
      return;
    }
    case wb_value::kind_t::date: {
      SYSTEMTIME st;
      if (!VariantTimeToSystemTime(v.number, &st)) {
        tk_trace(2, "Failed to convert VARIANT->SYSTEMTIME");
        field.assign(ole_variant(v.number));
        return;
      }
      field.assign(ole_variant(st));
      return;
    }
    case wb_value::kind_t::boolean:
      field.assign(ole_variant(v.number != 0));
      return;
    case wb_value::kind_t::text:
      field.set_text(v.text);
      return;
  }
  field.set_null();
}
}  // namespace

dao_record::dao_record(const udb_schema& schema, const std::vector<int>& dao_types,
                       const std::vector<std::int32_t>& sizes)
    : udb_record(schema) {
  tk_trace(1, "dao_record::dao_record: %zu columns", schema.field_count());
  for (std::size_t i = 0; i < schema.field_count(); ++i) {
    ole_variant null;
    null.variant.vt = VT_NULL;
    add_field(std::make_unique<dao_field>(std::wstring(), sizes[i], std::move(null), dao_types[i]));
  }
}

void dao_record::fill(const std::vector<wb_value>& values) {
  for (std::size_t i = 0; i < values.size() && i < field_count(); ++i) put(values[i], field_at(i));
}
