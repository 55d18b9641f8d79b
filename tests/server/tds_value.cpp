#include "tds_value.hpp"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "tds_text.hpp"
#include "tds_value_internal.hpp"

namespace tds {
namespace {

using namespace value_detail;

struct type_name_entry {
  const char* name;
  type_id id;
};

constexpr type_name_entry k_type_names[] = {
    {"bit", type_id::bit},
    {"tinyint", type_id::tinyint},
    {"smallint", type_id::smallint},
    {"int", type_id::int_},
    {"bigint", type_id::bigint},
    {"real", type_id::real},
    {"float", type_id::float_},
    {"money", type_id::money},
    {"smallmoney", type_id::smallmoney},
    {"decimal", type_id::decimal},
    {"numeric", type_id::numeric},
    {"datetime", type_id::datetime},
    {"smalldatetime", type_id::smalldatetime},
    {"datetime2", type_id::datetime2},
    {"date", type_id::date},
    {"time", type_id::time},
    {"char", type_id::char_},
    {"varchar", type_id::varchar},
    {"nchar", type_id::nchar},
    {"nvarchar", type_id::nvarchar},
    {"text", type_id::text},
    {"ntext", type_id::ntext},
    {"binary", type_id::binary},
    {"varbinary", type_id::varbinary},
    {"image", type_id::image},
    {"uniqueidentifier", type_id::uniqueidentifier},
};

std::string format_datetime(const value& v, const sql_type& t) {
  int y = 0;
  unsigned m = 0, d = 0;
  civil_from_days(v.days, y, m, d);
  char buf[64];
  int64_t secs = v.ticks / 10000000;
  int64_t frac = v.ticks % 10000000;
  int h = static_cast<int>(secs / 3600), mi = static_cast<int>(secs / 60 % 60),
      s = static_cast<int>(secs % 60);
  std::string date_part, time_part;
  std::snprintf(buf, sizeof buf, "%04d-%02u-%02u", y, m, d);
  date_part = buf;
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", h, mi, s);
  time_part = buf;
  int digits = t.id == type_id::datetime                               ? 3
               : (t.id == type_id::datetime2 || t.id == type_id::time) ? t.scale
                                                                       : 0;
  if (digits > 0) {
    std::snprintf(buf, sizeof buf, "%07lld", static_cast<long long>(frac));
    time_part.push_back('.');
    time_part.append(buf, static_cast<size_t>(digits));
  }
  if (t.id == type_id::date) return date_part;
  if (t.id == type_id::time) return time_part;
  date_part.push_back(' ');
  date_part.append(time_part);
  return date_part;
}

}  // namespace

int32_t days_from_civil(int y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const int64_t unix_days = static_cast<int64_t>(era) * 146097 + static_cast<int64_t>(doe) - 719468;
  return static_cast<int32_t>(unix_days + 719162);  // 0001-01-01 is 719162 days before 1970-01-01
}

void civil_from_days(int32_t days, int& y, unsigned& m, unsigned& d) {
  int64_t z = static_cast<int64_t>(days) - 719162 + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

std::string decimal_to_text(__int128 digits, uint8_t scale) {
  bool neg = digits < 0;
  unsigned __int128 u = neg ? static_cast<unsigned __int128>(-(digits + 1)) + 1
                            : static_cast<unsigned __int128>(digits);
  // Digits are produced least significant first, then reversed.
  std::string s;
  size_t produced = 0;
  do {
    if (scale > 0 && produced == scale) s.push_back('.');
    s.push_back(static_cast<char>('0' + static_cast<int>(u % 10)));
    u /= 10;
    ++produced;
  } while (u != 0 || produced <= scale);
  if (neg) s.push_back('-');
  return std::string(s.rbegin(), s.rend());
}

std::string guid_to_text(std::string_view b) {
  // SQL Server stores the first three groups little-endian.
  static const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  std::string out;
  char buf[4];
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) out.push_back('-');
    std::snprintf(buf, sizeof buf, "%02X", static_cast<uint8_t>(b[static_cast<size_t>(order[i])]));
    out += buf;
  }
  return out;
}

std::string sql_type::name() const {
  for (const auto& e : k_type_names)
    if (e.id == id) return e.name;
  return "?";
}

std::string sql_type::full_name() const {
  std::string n = name();
  switch (id) {
    case type_id::char_:
    case type_id::varchar:
    case type_id::nchar:
    case type_id::nvarchar:
    case type_id::binary:
    case type_id::varbinary:
      return n + "(" + (length == k_max_length ? std::string("max") : std::to_string(length)) + ")";
    case type_id::decimal:
    case type_id::numeric:
      return n + "(" + std::to_string(precision) + "," + std::to_string(scale) + ")";
    case type_id::datetime2:
    case type_id::time:
      return n + "(" + std::to_string(scale) + ")";
    default:
      return n;
  }
}

bool sql_type::is_string() const {
  return id == type_id::char_ || id == type_id::varchar || id == type_id::nchar ||
         id == type_id::nvarchar || id == type_id::text || id == type_id::ntext;
}
bool sql_type::is_unicode() const {
  return id == type_id::nchar || id == type_id::nvarchar || id == type_id::ntext;
}
bool sql_type::is_binary() const {
  return id == type_id::binary || id == type_id::varbinary || id == type_id::image;
}
bool sql_type::is_integer() const {
  return id == type_id::bit || id == type_id::tinyint || id == type_id::smallint ||
         id == type_id::int_ || id == type_id::bigint;
}
bool sql_type::is_exact_numeric() const {
  return id == type_id::decimal || id == type_id::numeric || id == type_id::money ||
         id == type_id::smallmoney;
}
bool sql_type::is_temporal() const {
  return id == type_id::datetime || id == type_id::smalldatetime || id == type_id::datetime2 ||
         id == type_id::date || id == type_id::time;
}
bool sql_type::is_long() const {
  return id == type_id::text || id == type_id::ntext || id == type_id::image ||
         length == k_max_length;
}

std::optional<type_id> type_from_name(std::string_view name) {
  for (const auto& e : k_type_names)
    if (iequals(name, e.name)) return e.id;
  if (iequals(name, "integer")) return type_id::int_;
  if (iequals(name, "dec")) return type_id::decimal;
  return std::nullopt;
}

sql_type default_type(type_id id) {
  sql_type t{id};
  switch (id) {
    case type_id::char_:
    case type_id::varchar:
    case type_id::nchar:
    case type_id::nvarchar:
    case type_id::binary:
    case type_id::varbinary:
      t.length = 1;
      break;
    case type_id::decimal:
    case type_id::numeric:
      t.precision = 18;
      break;
    case type_id::datetime2:
    case type_id::time:
      t.scale = 7;
      break;
    case type_id::float_:
      t.precision = 53;
      break;
    default:
      break;
  }
  return t;
}

value value::integer(int64_t v, type_id origin) {
  value r;
  r.k = kind::integer;
  r.i = v;
  r.origin = origin;
  return r;
}
value value::real(double v, type_id origin) {
  value r;
  r.k = kind::real;
  r.f = v;
  r.origin = origin;
  return r;
}
value value::decimal(__int128 digits, uint8_t scale, type_id origin) {
  value r;
  r.k = kind::decimal;
  r.dec = digits;
  r.scale = scale;
  r.origin = origin;
  r.precision = 38;
  return r;
}
value value::string(std::string text, bool unicode) {
  value r;
  r.k = kind::string;
  r.s = std::move(text);
  r.origin = unicode ? type_id::nvarchar : type_id::varchar;
  return r;
}
value value::binary(std::string bytes) {
  value r;
  r.k = kind::binary;
  r.s = std::move(bytes);
  r.origin = type_id::varbinary;
  return r;
}
value value::datetime(int32_t days, int64_t ticks, type_id origin) {
  value r;
  r.k = kind::datetime;
  r.days = days;
  r.ticks = ticks;
  r.origin = origin;
  return r;
}
value value::guid(std::string bytes16) {
  value r;
  r.k = kind::guid;
  r.s = std::move(bytes16);
  r.origin = type_id::uniqueidentifier;
  return r;
}

std::string to_text(const value& v, const sql_type& type) {
  switch (v.k) {
    case value::kind::null:
      return "NULL";
    case value::kind::integer:
      return std::to_string(v.i);
    case value::kind::real: {
      char buf[40];
      std::snprintf(buf, sizeof buf, "%.15g", v.f);
      return buf;
    }
    case value::kind::decimal:
      return decimal_to_text(v.dec, v.scale);
    case value::kind::datetime:
      return format_datetime(v, type.is_temporal() ? type : sql_type{v.origin, 0, 0, 7});
    case value::kind::string:
      return v.s;
    case value::kind::binary: {
      std::string out = "0x";
      char buf[4];
      for (char c : v.s) {
        std::snprintf(buf, sizeof buf, "%02X", static_cast<uint8_t>(c));
        out += buf;
      }
      return out;
    }
    case value::kind::guid:
      return guid_to_text(v.s);
  }
  return {};
}

int compare(const value& a, const value& b) {
  if (a.is_null() || b.is_null()) return a.is_null() == b.is_null() ? 0 : a.is_null() ? -1 : 1;
  auto sign = [](auto x, auto y) { return x < y ? -1 : x > y ? 1 : 0; };
  auto num = [](const value& v) {
    return v.k == value::kind::integer ? static_cast<double>(v.i)
           : v.k == value::kind::real  ? v.f
                                       : decimal_to_double(v);
  };
  bool an = a.k == value::kind::integer || a.k == value::kind::real || a.k == value::kind::decimal;
  bool bn = b.k == value::kind::integer || b.k == value::kind::real || b.k == value::kind::decimal;
  if (an && bn) {
    if (a.k == value::kind::integer && b.k == value::kind::integer) return sign(a.i, b.i);
    if (a.k != value::kind::real && b.k != value::kind::real) {
      int sc = std::max(a.k == value::kind::decimal ? a.scale : 0,
                        b.k == value::kind::decimal ? b.scale : 0);
      __int128 x = a.k == value::kind::decimal ? rescale(a.dec, a.scale, sc)
                                               : static_cast<__int128>(a.i) * pow10(sc);
      __int128 y = b.k == value::kind::decimal ? rescale(b.dec, b.scale, sc)
                                               : static_cast<__int128>(b.i) * pow10(sc);
      return sign(x, y);
    }
    return sign(num(a), num(b));
  }
  if (a.k == value::kind::datetime && b.k == value::kind::datetime)
    return a.days != b.days ? sign(a.days, b.days) : sign(a.ticks, b.ticks);
  if (a.k == value::kind::string && b.k == value::kind::string) {
    // Trailing spaces do not count under SQL Server's padding rules.
    std::string x = fold_case(a.s), y = fold_case(b.s);
    while (!x.empty() && x.back() == ' ') x.pop_back();
    while (!y.empty() && y.back() == ' ') y.pop_back();
    return sign(x.compare(y), 0);
  }
  if (a.k == b.k) return sign(a.s.compare(b.s), 0);
  return sign(static_cast<int>(a.k), static_cast<int>(b.k));
}

}  // namespace tds
