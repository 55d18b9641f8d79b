#include "dates_map.hpp"

#include "ole_date.hpp"
#include "tk_trace.hpp"
#include "udb_record.hpp"
#include "udb_schema.hpp"

dates_map::dates_map(const std::wstring& table_name, const udb_schema& schema, bool b_dates_only)
    : types_map(table_name) {
  tk_trace(2, "dates_map::ctor(size=%d)", static_cast<int>(schema.field_count()));
  entries.reserve(schema.field_count());
  for (std::size_t i = 0; i < schema.field_count(); ++i) {
    const t_ftd& column = schema.field_at(i);
    const bool is_date = column.vartype == VT_DATE;
    if (b_dates_only && !is_date) {
      tk_trace(1, "Field #%d has not a date type", static_cast<int>(i));
      continue;
    }
    tk_trace(1, "Add map entry for field #%d", static_cast<int>(i));
    map_entry entry;
    entry.n_field = static_cast<std::int32_t>(i);
    entry.name = column.name;
    entry.declared_class = is_date ? 1 : 0;
    entries.push_back(std::move(entry));
  }
}

const char* dates_map::state_name(std::int32_t state) {
  switch (state) {
    case state_date_time:
      return "datetime";
    case state_date:
      return "date";
    case state_time:
      return "time";
    default:
      return "char(19)";
  }
}

void dates_map::add_kind(map_entry& entry, std::int32_t k) {
  if (!entry.b_processed) {
    entry.b_processed = true;
    switch (k) {
      case ole_date::kind_date_time:
        tk_trace(1, "got datetime");
        entry.state = state_date_time;
        break;
      case ole_date::kind_date:
        tk_trace(1, "got date");
        entry.state = state_date;
        break;
      case ole_date::kind_time:
        tk_trace(1, "got time");
        entry.state = state_time;
        break;
      default:
        break;
    }
    return;
  }
  if (entry.state == state_text) {
    tk_trace(1, "skip mapping CHAR(19)");
    return;
  }
  const bool date_state = entry.state == state_date_time || entry.state == state_date;
  if ((date_state && k == ole_date::kind_time) ||
      (entry.state == state_time && k != ole_date::kind_time)) {
    tk_trace(1, "switch to char(19)");
    entry.state = state_text;
  }
  if (entry.state == state_date && k == ole_date::kind_date_time) {
    tk_trace(1, "switch to datetime");
    entry.state = state_date_time;
  }
}

void dates_map::add_value(map_entry& entry, const std::wstring& text) {
  if (text.empty()) return;
  if (entry.b_processed && entry.state == state_text) {
    tk_trace(1, "skip mapping CHAR(19)");
    return;
  }
  add_kind(entry, ole_date(text).date_kind);
}

void dates_map::add_rec_stat(const udb_record& record) {
  tk_trace(1, "dates_map::add_rec_stat(map size=%d)", static_cast<int>(entries.size()));
  for (std::size_t i = 0; i < entries.size(); ++i) {
    map_entry& entry = entries[i];
    tk_trace(1, "Process %d item, n_field=%d", static_cast<int>(i), entry.n_field);
    if (static_cast<std::size_t>(entry.n_field) >= record.field_count()) continue;
    // Text is final: no need to parse the value.
    if (entry.b_processed && entry.state == state_text) {
      tk_trace(1, "skip mapping CHAR(19)");
      continue;
    }
    const std::wstring text = record.field_at(static_cast<std::size_t>(entry.n_field)).to_wstring();
    tk_trace(1, L"Got string representation: '%ls'", text.c_str());
    add_value(entry, text);
  }
  tk_trace(1, "End of dates_map::add_rec_stat");
}
