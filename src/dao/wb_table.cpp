#include "wb_table.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <map>
#include <unordered_map>
#include <unordered_set>

#include "dao_exception.hpp"
#include "tk_civil.hpp"
#include "tk_text.hpp"
#include "tk_trace.hpp"
#include "wb_limits.hpp"
#include "wb_workbook.hpp"

namespace {
// 9999-12-31 23:59:59.5 is the last moment an OLE date that rounds to whole
// seconds can name.
constexpr double last_ole_date = 2958465.0 + (86400.0 - 0.5) / 86400.0;
constexpr std::size_t text_size_limit = 255;
constexpr std::size_t display_bound = 24;
}  // namespace

wb_cell_value::date_result wb_cell_value::serial_to_ole(double serial, bool b_1904, double& ole) {
  if (!std::isfinite(serial) || serial < 0) return date_result::invalid;
  if (serial < 1) {
    ole = serial;  // a time of day on day 0, in either date system
  } else if (b_1904) {
    ole = serial + 1462;
  } else if (serial < 60) {
    ole = serial + 1;  // before the fictitious 1900-02-29
  } else if (serial < 61) {
    return date_result::null;  // the fictitious 1900-02-29 itself
  } else {
    ole = serial;
  }
  return ole < last_ole_date ? date_result::ok : date_result::invalid;
}

namespace {
void append_ascii(const char* text, std::wstring& out) {
  for (const char* p = text; *p; ++p) out += static_cast<wchar_t>(*p);
}

void general_into(double number, std::wstring& out) {
  char buf[64];
  if (number == std::floor(number) && std::fabs(number) < 1e15) {
    std::snprintf(buf, sizeof buf, "%.0f", number);
  } else {
    std::snprintf(buf, sizeof buf, "%.15G", number);
  }
  append_ascii(std::strcmp(buf, "-0") == 0 ? "0" : buf, out);
}

void duration_into(double days, std::wstring& out) {
  const double rounded = std::round(std::fabs(days) * 86400.0);
  if (!(rounded < 9e15)) return general_into(days, out);  // beyond whole seconds
  const long long secs = static_cast<long long>(rounded);
  char buf[128];
  std::snprintf(buf, sizeof buf, "%s%02lld:%02lld:%02lld", days < 0 && secs != 0 ? "-" : "",
                secs / 3600, secs / 60 % 60, secs % 60);
  append_ascii(buf, out);
}
}  // namespace

std::wstring wb_cell_value::general(double number) {
  std::wstring out;
  general_into(number, out);
  return out;
}

std::wstring wb_cell_value::display(const wb_cell& cell, bool b_1904) {
  std::wstring out;
  display(cell, b_1904, out);
  return out;
}

void wb_cell_value::display(const wb_cell& cell, bool b_1904, std::wstring& out) {
  out.clear();
  switch (cell.kind) {
    case wb_kind::text:
      out.assign(cell.str());
      return;
    case wb_kind::boolean:
      out.assign(cell.number != 0 ? L"TRUE" : L"FALSE");
      return;
    case wb_kind::number: {
      double ole = 0;
      if (cell.format == wb_format_class::duration) return duration_into(cell.number, out);
      if (cell.format != wb_format_class::date) return general_into(cell.number, out);
      switch (serial_to_ole(cell.number, b_1904, ole)) {
        case date_result::null:
          return;
        case date_result::invalid:
          return general_into(cell.number, out);
        case date_result::ok:
          break;
      }
      // Whole seconds, as dates are kept everywhere else.
      long long days = static_cast<long long>(std::floor(ole));
      long long secs = std::llround((ole - static_cast<double>(days)) * 86400.0);
      if (secs == 86400) {
        ++days;
        secs = 0;
      }
      const tk_civil_date c = tk_civil_from_days(tk_day_zero + days);
      const long long y = c.year, m = c.month, d = c.day;
      char buf[128];
      if (days == 0)
        std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", secs / 3600, secs / 60 % 60,
                      secs % 60);
      else if (secs == 0)
        std::snprintf(buf, sizeof buf, "%04lld-%02lld-%02lld", y, m, d);
      else
        std::snprintf(buf, sizeof buf, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld", y, m, d,
                      secs / 3600, secs / 60 % 60, secs % 60);
      append_ascii(buf, out);
      return;
    }
    default:
      return;
  }
}

std::wstring wb_cell_value::duration(double days) {
  std::wstring out;
  duration_into(days, out);
  return out;
}

wb_table::cell_class wb_table::classify(const wb_cell& cell) const {
  switch (cell.kind) {
    case wb_kind::text:
      return cell_class::text;  // an empty text is a value too
    case wb_kind::boolean:
      return cell_class::boolean;
    case wb_kind::number: {
      if (cell.format == wb_format_class::duration) return cell_class::duration;
      if (cell.format == wb_format_class::currency) return cell_class::currency;
      if (cell.format != wb_format_class::date) return cell_class::number;
      double ole = 0;
      return wb_cell_value::serial_to_ole(cell.number, book_.is_1904(), ole) ==
                     wb_cell_value::date_result::invalid
                 ? cell_class::number
                 : cell_class::date;
    }
    default:
      return cell_class::none;
  }
}

bool wb_table::in_area(const wb_cell& cell) const {
  return !area_ || area_->contains(cell.row, cell.col);
}

namespace {
// "A" for column 0, "XFD" for column 16383.
std::string column_letters(std::uint32_t col) {
  std::string letters;
  for (std::uint64_t n = std::uint64_t{col} + 1; n > 0; n = (n - 1) / 26)
    letters.insert(letters.begin(), static_cast<char>('A' + (n - 1) % 26));
  return letters;
}

// A table cannot be wider than the server's; saying so at the first cell
// that makes it so spares reading the rest of a sheet that cannot load.
void check_width(std::uint32_t min_col, std::uint32_t max_col) {
  const std::uint32_t width = max_col - min_col + 1;
  if (width <= wb_table::max_table_columns) return;
  throw tk_exception("The worksheet's values span " + std::to_string(width) + " columns (" +
                         column_letters(min_col) + " to " + column_letters(max_col) +
                         "); a SQL Server table holds at most " +
                         std::to_string(wb_table::max_table_columns) +
                         ". Clear or delete the columns that are not needed and save the "
                         "workbook again.",
                     tk_level_item);
}
}  // namespace

void wb_table::count(column_stats& s, const wb_cell& cell) {
  switch (classify(cell)) {
    case cell_class::none:
      if (cell.kind == wb_kind::error) ++error_cells_;
      return;
    case cell_class::number:
      s.number = true;
      break;
    case cell_class::currency:
      s.currency = true;
      break;
    case cell_class::date:
      s.date = true;
      break;
    case cell_class::boolean:
      s.boolean = true;
      break;
    case cell_class::text:
      s.text = true;
      break;
    case cell_class::duration:
      s.duration = true;
      // A day or more (to the second), or negative: more than `time` holds.
      if (!(cell.number >= 0 && std::round(cell.number * 86400.0) < 86400.0))
        s.long_duration = true;
      break;
  }
  // Only text can outgrow a sized column: the displayed form of a number,
  // date or boolean is never longer than 24 characters.
  std::size_t shown = cell.kind == wb_kind::text ? cell.str().size() : display_bound;
  if (cell.kind == wb_kind::text) s.max_text = std::max(s.max_text, cell.str().size());
  s.max_display = std::max(s.max_display, shown);
}

wb_column wb_table::make_column(const column_stats& s) const {
  wb_column column;
  int kinds = (s.number || s.currency) + s.date + s.boolean + s.text + s.duration;
  if (kinds == 1 && s.duration && !s.long_duration) {
    column.type = wb_column_type::time;
  } else if (kinds == 1 && !s.text && !s.duration) {
    column.type = s.date                      ? wb_column_type::date
                  : s.boolean                 ? wb_column_type::boolean
                  : (s.currency && !s.number) ? wb_column_type::currency
                                              : wb_column_type::number;
  } else {
    // Text, mixed kinds, or durations past a day, which keep their
    // displayed form to the second.
    column.max_length = kinds == 1 && s.text ? s.max_text : s.max_display;
    column.type =
        column.max_length > text_size_limit ? wb_column_type::long_text : wb_column_type::text;
  }
  return column;
}

wb_table::wb_table(const wb_workbook& book, std::size_t sheet, std::optional<wb_area> area,
                   bool b_header)
    : book_(book), area_(area) {
  tk_trace(1, "wb_table::wb_table(%zu, %d)", sheet, b_header ? 1 : 0);
  // Pass 1: the used range and what each column holds.
  std::map<std::uint32_t, column_stats> stats;  // by sheet column
  bool any = false;
  std::uint32_t first_row = 0, last_row = 0, min_col = 0, max_col = 0, prev_row = 0;
  if (area_) {
    // A defined name covers its whole rectangle, up to the last used row.
    check_width(area_->first_col, std::min(area_->last_col, wb_limits::max_columns - 1));
  }
  auto cells = book.open_sheet(sheet);
  wb_cell cell;
  // The header row is only known once the first used row is; its cells are
  // kept apart from the data statistics.
  while (cells->next(cell)) {
    if (!in_area(cell)) continue;
    if (any && cell.row < prev_row)
      throw dao_exception(dao_exception::bad_table, "The worksheet stores its rows out of order");
    prev_row = cell.row;
    if (!any) {
      // A defined name starts where its area starts, used or not.
      first_row = area_ ? area_->first_row : cell.row;
      last_row = cell.row;
      min_col = max_col = cell.col;
      any = true;
    }
    last_row = std::max(last_row, cell.row);
    min_col = std::min(min_col, cell.col);
    max_col = std::max(max_col, cell.col);
    check_width(min_col, max_col);
    spool_.append(cell);
    column_stats& s = stats[cell.col];
    if (b_header && cell.row == first_row) {
      s.header_set = true;
      s.header = wb_cell_value::display(cell, book.is_1904());
      continue;
    }
    count(s, cell);
  }
  spool_.finish();
  if (area_) {
    min_col = area_->first_col;
    max_col = std::min(area_->last_col, wb_limits::max_columns - 1);
    first_row = area_->first_row;
    if (!any) last_row = first_row;
    any = true;
  }
  if (!any) {
    tk_trace(1, "wb_table: the sheet holds no values");
    return;
  }
  first_col_ = min_col;
  first_row_ = b_header ? first_row + 1 : first_row;
  last_row_ = last_row;
  record_count_ = last_row_ >= first_row_ ? last_row_ - first_row_ + 1 : 0;

  // Names taken so far (lower case), and for each name the next number to try,
  // so that thousands of repeated names stay linear.
  std::unordered_set<std::wstring> used;
  std::unordered_map<std::wstring, int> next_number;
  for (std::uint32_t col = min_col; col <= max_col; ++col) {
    column_stats s;
    if (auto it = stats.find(col); it != stats.end()) s = it->second;
    wb_column column = make_column(s);
    std::wstring name = b_header ? tk_trim(s.header) : std::wstring();
    if (name.empty()) name = L"F" + std::to_wstring(col - min_col + 1);
    std::wstring unique = name;
    std::wstring key = tk_to_lower(name);
    if (used.count(key) != 0) {
      int& n = next_number[key];
      do {
        unique = name + std::to_wstring(++n);
      } while (used.count(tk_to_lower(unique)) != 0);
    }
    used.insert(tk_to_lower(unique));
    column.name = unique;
    columns_.push_back(std::move(column));
  }
  tk_trace(1, "wb_table: %zu columns, %u records, %llu error cells", columns_.size(), record_count_,
           static_cast<unsigned long long>(error_cells_));
}

std::unique_ptr<wb_row_cursor> wb_table::rows() const {
  return std::make_unique<wb_row_cursor>(spool_.replay(), *this);
}

void wb_table::value_of(const wb_cell& cell, std::size_t column, wb_value& v) const {
  v.kind = wb_value::kind_t::null;
  v.number = 0;
  v.text.clear();
  const wb_column& col = columns_[column];
  cell_class kind = classify(cell);
  if (kind == cell_class::none) return;
  switch (col.type) {
    case wb_column_type::text:
    case wb_column_type::long_text:
      wb_cell_value::display(cell, book_.is_1904(), v.text);
      // An empty display is NULL (serial 60 as a date) unless the cell holds
      // an empty text, which is a value.
      if (!v.text.empty() || cell.kind == wb_kind::text) v.kind = wb_value::kind_t::text;
      break;
    case wb_column_type::time:
      v.kind = wb_value::kind_t::date;
      v.number = cell.number;  // within a day: a time on day 0
      break;
    case wb_column_type::number:
    case wb_column_type::currency:
      v.kind = col.type == wb_column_type::number ? wb_value::kind_t::number
                                                  : wb_value::kind_t::currency;
      v.number = cell.number;
      break;
    case wb_column_type::date:
      if (wb_cell_value::serial_to_ole(cell.number, book_.is_1904(), v.number) ==
          wb_cell_value::date_result::ok)
        v.kind = wb_value::kind_t::date;
      break;
    case wb_column_type::boolean:
      v.kind = wb_value::kind_t::boolean;
      v.number = cell.number != 0 ? 1 : 0;
      break;
  }
}

wb_row_cursor::wb_row_cursor(std::unique_ptr<wb_cell_stream> cells, const wb_table& table)
    : cells_(std::move(cells)), table_(table), row_(table.first_row_) {}

bool wb_row_cursor::next(std::vector<wb_value>& values) {
  if (table_.record_count_ == 0 || row_ > table_.last_row_) return false;
  // Emptied in place: each value keeps its text buffer for the next row.
  values.resize(table_.columns_.size());
  for (wb_value& v : values) {
    v.kind = wb_value::kind_t::null;
    v.number = 0;
    v.text.clear();
  }
  for (;;) {
    if (!b_pending_) {
      if (b_cells_done_ || !cells_->next(pending_)) {
        b_cells_done_ = true;
        break;
      }
      if (!table_.in_area(pending_) || pending_.row < row_) continue;
      b_pending_ = true;
    }
    if (pending_.row > row_) break;  // belongs to a later row
    b_pending_ = false;
    if (pending_.col < table_.first_col_) continue;
    std::size_t column = pending_.col - table_.first_col_;
    if (column >= values.size()) continue;
    table_.value_of(pending_, column, values[column]);
  }
  ++row_;
  return true;
}
