#include "dao_record.hpp"

#include <cmath>
#include <memory>

#include "dao_field.hpp"
#include "ole_datetime.hpp"
#include "tk_trace.hpp"

namespace {
ole_variant to_variant(const wb_value& v) {
  switch (v.kind) {
    case wb_value::kind_t::null: {
      ole_variant null;
      null.variant.vt = VT_NULL;
      return null;
    }
    case wb_value::kind_t::number:
      return ole_variant(v.number);
    case wb_value::kind_t::currency: {
      double scaled = std::round(v.number * CY_SCALE);
      // An amount beyond what currency holds stays a plain number.
      if (!(std::fabs(scaled) < 9.2e18)) return ole_variant(v.number);
      return ole_variant(CY{static_cast<std::int64_t>(scaled)});
    }
    case wb_value::kind_t::date: {
      SYSTEMTIME st;
      if (!VariantTimeToSystemTime(v.number, &st)) {
        tk_trace(2, "Failed to convert VARIANT->SYSTEMTIME");
        return ole_variant(v.number);
      }
      return ole_variant(st);
    }
    case wb_value::kind_t::boolean:
      return ole_variant(v.number != 0);
    case wb_value::kind_t::text:
      return ole_variant(v.text);
  }
  return ole_variant();
}
}  // namespace

dao_record::dao_record(const std::vector<wb_value>& values, const std::vector<wb_column>& columns,
                       const std::vector<int>& dao_types, const std::vector<std::int32_t>& sizes) {
  tk_trace(1, "dao_record::dao_record: n_refs = %d", static_cast<int>(values.size()));
  for (std::size_t i = 0; i < values.size() && i < columns.size(); ++i)
    add_field(std::make_unique<dao_field>(columns[i].name, sizes[i], to_variant(values[i]),
                                          dao_types[i]));
}
