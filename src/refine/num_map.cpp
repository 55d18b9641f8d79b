#include "num_map.hpp"

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>

#include <locale.h>

#include "tk_trace.hpp"
#include "udb_record.hpp"
#include "udb_schema.hpp"

namespace {

// atof in the C locale: the decimal point is '.', whatever the user's locale.
double c_atof(const std::string& text) {
  static const locale_t c_locale = newlocale(LC_NUMERIC_MASK, "C", static_cast<locale_t>(0));
  return strtod_l(text.c_str(), nullptr, c_locale);
}

template <class Int>
bool prints_back(const std::string& text, Int& value) {
  const char* first = text.data();
  const char* last = first + text.size();
  const auto parsed = std::from_chars(first, last, value);
  // A text that does not parse whole, or overflows, cannot print back as itself.
  if (parsed.ec != std::errc() || parsed.ptr != last) return false;
  char printed[32];
  const auto out = std::to_chars(printed, printed + sizeof printed, value);
  return std::string_view(printed, static_cast<std::size_t>(out.ptr - printed)) == text;
}

std::int32_t declared_class(VARTYPE type) {
  switch (type) {
    case VT_I4:
      return num_map::state_i4;
    case VT_R4:
    case VT_R8:
      return num_map::state_double;
    case VT_I8:
      return num_map::state_i8;
    default:
      return num_map::state_text;
  }
}

}  // namespace

num_map::num_map(const std::wstring& table_name, const udb_schema& schema) : types_map(table_name) {
  tk_trace(2, "num_map::ctor(size=%d)", static_cast<int>(schema.field_count()));
  entries.reserve(schema.field_count());
  for (std::size_t i = 0; i < schema.field_count(); ++i) {
    const t_ftd& column = schema.field_at(i);
    tk_trace(1, "Field #%d has type %d", static_cast<int>(i), static_cast<int>(column.vartype));
    map_entry entry;
    entry.n_field = static_cast<std::int32_t>(i);
    entry.name = column.name;
    entry.declared_class = declared_class(column.vartype);
    entries.push_back(std::move(entry));
  }
}

const char* num_map::state_name(std::int32_t state) {
  switch (state) {
    case state_i4:
      return "VT_I4";
    case state_i8:
      return "VT_I8";
    case state_double:
      return "DOUBLE";
    default:
      return "VARCHAR";
  }
}

bool num_map::is_i8(const std::string& text) {
  tk_trace(1, "num_map::is_i8(%s)", text.c_str());
  std::int64_t value = 0;
  if (!prints_back(text, value)) return false;
  return value < std::numeric_limits<std::int32_t>::min() ||
         value > std::numeric_limits<std::int32_t>::max();
}

bool num_map::is_double(const std::string& text) {
  tk_trace(1, "num_map::is_double(%s)", text.c_str());
  if (text.empty()) return false;
  // Codes such as 0123 are not numbers; 0.5, 0,5 and 01 are.
  if (text.size() > 2 && text[0] == '0' && text[1] != '.' && text[1] != ',') return false;
  if (text.back() < '0' || text.back() > '9') return false;
  bool sign_blocked = false;
  bool point_seen = false;
  bool exp_seen = false;
  for (const char c : text) {
    if (c == '.' || c == ',') {
      if (point_seen) return false;
      point_seen = sign_blocked = true;
    } else if (c == 'e' || c == 'E') {
      if (exp_seen) return false;
      exp_seen = point_seen = true;
      sign_blocked = false;
    } else if (c == '-' || c == '+') {
      if (sign_blocked) return false;
      sign_blocked = true;
    } else if (c >= '0' && c <= '9') {
      if (exp_seen) sign_blocked = true;
    } else {
      return false;
    }
  }
  return true;
}

bool num_map::is_int(const std::string& text) {
  tk_trace(1, "num_map::is_int(%s)", text.c_str());
  std::int32_t first = 0;
  if (prints_back(text, first)) {
    tk_trace(1, "1st test succeeded (ibuf=%d)", first);
    return true;
  }
  const double d = c_atof(text);
  // Outside the 64-bit range the truncation has no value; no 32-bit integer
  // can equal such a number anyway.
  if (!(d > -9223372036854775808.0 && d < 9223372036854775808.0)) return false;
  const auto low = static_cast<std::int32_t>(
      static_cast<std::uint32_t>(static_cast<std::uint64_t>(static_cast<std::int64_t>(d))));
  tk_trace(1, "ibuf=%d, dbuf=%lg", low, d);
  if (static_cast<double>(low) == d) {
    tk_trace(1, "2nd test succeeded (dbuf=%lg)", d);
    return true;
  }
  return false;
}

void num_map::add_value(map_entry& entry, const std::string& text) {
  if (text.empty()) return;
  if (!entry.b_processed) {
    entry.b_processed = true;
    if (is_i8(text)) {
      tk_trace(1, "got VT_I8");
      entry.state = state_i8;
    } else if (is_double(text)) {
      if (is_int(text)) {
        tk_trace(1, "got VT_I4");
        entry.state = state_i4;
      } else {
        tk_trace(1, "got double");
        entry.state = state_double;
      }
    }
    return;
  }
  if (entry.state == state_text) {
    tk_trace(1, "skip mapping VARCHAR");
    return;
  }
  if (is_i8(text)) {
    if (entry.state == state_i4) {
      tk_trace(1, "Switch to VT_I8");
      entry.state = state_i8;
    }
  } else if (is_double(text)) {
    if (is_int(text)) {
      tk_trace(1, "skip integer");
    } else {
      tk_trace(1, "Switch to DOUBLE");
      entry.state = state_double;
    }
  } else {
    tk_trace(1, "Switch to VARCHAR");
    entry.state = state_text;
  }
}

void num_map::add_rec_stat(const udb_record& record) {
  tk_trace(1, "num_map::add_rec_stat(map size=%d)", static_cast<int>(entries.size()));
  for (std::size_t i = 0; i < entries.size(); ++i) {
    map_entry& entry = entries[i];
    tk_trace(1, "Process %d item, n_field=%d", static_cast<int>(i), entry.n_field);
    // A short row has no value for the columns past its end: like an empty
    // cell, that decides nothing.
    if (static_cast<std::size_t>(entry.n_field) >= record.field_count()) continue;
    // Text is final: no need to print the value.
    if (entry.b_processed && entry.state == state_text) {
      tk_trace(1, "skip mapping VARCHAR");
      continue;
    }
    const std::string text = record.field_at(static_cast<std::size_t>(entry.n_field)).to_string();
    tk_trace(1, "Got string representation: '%s'", text.c_str());
    add_value(entry, text);
  }
}
