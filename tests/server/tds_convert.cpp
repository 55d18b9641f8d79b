// Implicit conversions between SQL Server types, with SQL Server's ranges, rounding and messages.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "tds_text.hpp"
#include "tds_value.hpp"
#include "tds_value_internal.hpp"

namespace tds {
namespace {

using namespace value_detail;

std::string quoted_source(const value& v) {
  return v.origin == type_id::nvarchar || v.origin == type_id::nchar ? "nvarchar" : "varchar";
}

[[noreturn]] void overflow(const value& v, const sql_type& to) {
  std::string from = to.is_integer()              ? "expression"
                     : v.k == value::kind::string ? quoted_source(v)
                     : v.k == value::kind::real   ? "float"
                     : v.k == value::kind::decimal && v.origin == type_id::numeric ? "numeric"
                                                                                   : "expression";
  std::string target =
      to.is_exact_numeric() && to.id != type_id::money && to.id != type_id::smallmoney ? "numeric"
                                                                                       : to.name();
  throw sql_error(8115, 16, 2,
                  "Arithmetic overflow error converting " + from + " to data type " + target + ".");
}

// Parses an optionally signed decimal number without exponent; nullopt on bad syntax. Digits beyond
// 38 significant ones are refused (SQL Server's numeric limit).
std::optional<value> parse_decimal_text(std::string_view s) {
  size_t p = 0;
  while (p < s.size() && (s[p] == ' ' || s[p] == '\t')) ++p;
  size_t e = s.size();
  while (e > p && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  s = s.substr(p, e - p);
  if (s.empty()) return std::nullopt;
  bool neg = false;
  size_t i = 0;
  if (s[0] == '+' || s[0] == '-') {
    neg = s[0] == '-';
    ++i;
  }
  __int128 digits = 0;
  int nd = 0, scale = 0;
  bool dot = false, any = false;
  for (; i < s.size(); ++i) {
    char c = s[i];
    if (c == '.' && !dot) {
      dot = true;
    } else if (c >= '0' && c <= '9') {
      any = true;
      if (digits != 0 || c != '0') ++nd;
      if (nd > 38) return std::nullopt;
      digits = digits * 10 + (c - '0');
      if (dot) ++scale;
    } else {
      return std::nullopt;
    }
  }
  if (!any) return std::nullopt;
  if (scale > 38) return std::nullopt;
  return value::decimal(neg ? -digits : digits, static_cast<uint8_t>(scale));
}

int digit_count(__int128 v) {
  if (v < 0) v = -v;
  int n = 0;
  while (v != 0) {
    v /= 10;
    ++n;
  }
  return n;
}

value to_decimal(const value& v, const sql_type& to) {
  int scale = to.id == type_id::money || to.id == type_id::smallmoney ? 4 : to.scale;
  int precision = to.id == type_id::money ? 19 : to.id == type_id::smallmoney ? 10 : to.precision;
  __int128 digits = 0;
  switch (v.k) {
    case value::kind::integer:
      digits = static_cast<__int128>(v.i) * pow10(scale);
      break;
    case value::kind::decimal:
      digits = rescale(v.dec, v.scale, scale);
      break;
    case value::kind::real: {
      if (!std::isfinite(v.f) || std::fabs(v.f) >= 1e38) overflow(v, to);
      double scaled = std::round(v.f * std::pow(10.0, scale));
      if (std::fabs(scaled) >= 1e38) overflow(v, to);
      digits = static_cast<__int128>(scaled);
      break;
    }
    case value::kind::string: {
      auto parsed = parse_decimal_text(v.s);
      if (!parsed) {
        if (to.id == type_id::money || to.id == type_id::smallmoney)
          throw sql_error(
              235, 16, 0,
              "Cannot convert a char value to money. The char value has incorrect syntax.");
        throw sql_error(8114, 16, 5,
                        "Error converting data type " + quoted_source(v) + " to numeric.");
      }
      digits = rescale(parsed->dec, parsed->scale, scale);
      break;
    }
    default:
      throw sql_error(206, 16, 2,
                      "Operand type clash: " + sql_type{v.origin}.name() +
                          " is incompatible with " + to.name());
  }
  bool fits = digit_count(digits) <= precision;
  if (to.id == type_id::money)
    fits = digits >= -(static_cast<__int128>(INT64_MAX) + 1) && digits <= INT64_MAX;
  if (to.id == type_id::smallmoney) fits = digits >= INT32_MIN && digits <= INT32_MAX;
  if (!fits) overflow(v, to);
  value out = value::decimal(digits, static_cast<uint8_t>(scale), to.id);
  out.precision = static_cast<uint8_t>(precision);
  return out;
}

value to_integer(const value& v, const sql_type& to) {
  int64_t lo = 0, hi = 0;
  switch (to.id) {
    case type_id::bit:
      lo = INT64_MIN;
      hi = INT64_MAX;
      break;
    case type_id::tinyint:
      lo = 0;
      hi = 255;
      break;
    case type_id::smallint:
      lo = INT16_MIN;
      hi = INT16_MAX;
      break;
    case type_id::int_:
      lo = INT32_MIN;
      hi = INT32_MAX;
      break;
    default:
      lo = INT64_MIN;
      hi = INT64_MAX;
      break;
  }
  __int128 n = 0;
  switch (v.k) {
    case value::kind::integer:
      n = v.i;
      break;
    case value::kind::decimal:
      n = v.dec / pow10(v.scale);
      break;  // truncates, as SQL Server does
    case value::kind::real:
      if (!std::isfinite(v.f) || std::fabs(v.f) >= 9.3e18) overflow(v, to);
      n = static_cast<__int128>(std::trunc(v.f));
      break;
    case value::kind::string: {
      std::string t = v.s;
      size_t a = t.find_first_not_of(" \t"), b = t.find_last_not_of(" \t");
      t = a == std::string::npos ? "" : t.substr(a, b - a + 1);
      if (to.id == type_id::bit && (iequals(t, "TRUE") || iequals(t, "FALSE")))
        return value::integer(iequals(t, "TRUE"), to.id);
      bool ok = !t.empty();
      size_t i = (!t.empty() && (t[0] == '-' || t[0] == '+')) ? 1 : 0;
      if (i == t.size()) ok = false;
      for (size_t j = i; j < t.size() && ok; ++j) ok = t[j] >= '0' && t[j] <= '9';
      if (t.empty()) return value::integer(0, to.id);  // '' converts to 0
      if (!ok || t.size() > 30)
        throw sql_error(245, 16, 1,
                        "Conversion failed when converting the " + quoted_source(v) + " value '" +
                            v.s + "' to data type " + to.name() + ".");
      for (size_t j = i; j < t.size(); ++j) n = n * 10 + (t[j] - '0');
      if (t[0] == '-') n = -n;
      if (to.id != type_id::bit && (n < lo || n > hi)) {
        static const char* names[] = {"", "INT1", "INT2", "INT4", "INT8"};
        int idx = to.id == type_id::tinyint    ? 1
                  : to.id == type_id::smallint ? 2
                  : to.id == type_id::int_     ? 3
                                               : 4;
        throw sql_error(244, 16, 2,
                        "The conversion of the " + quoted_source(v) + " value '" + v.s +
                            "' overflowed an " + names[idx] +
                            " column. Use a larger integer column.");
      }
      break;
    }
    default:
      throw sql_error(206, 16, 2,
                      "Operand type clash: " + sql_type{v.origin}.name() +
                          " is incompatible with " + to.name());
  }
  if (to.id == type_id::bit) return value::integer(n != 0 ? 1 : 0, to.id);
  if (n < lo || n > hi) {
    if ((to.id == type_id::tinyint || to.id == type_id::smallint) && v.k == value::kind::integer)
      throw sql_error(220, 16, 2,
                      "Arithmetic overflow error for data type " + to.name() +
                          ", value = " + std::to_string(v.i) + ".");
    overflow(v, to);
  }
  return value::integer(static_cast<int64_t>(n), to.id);
}

bool parse_digits(std::string_view s, size_t& p, int min_digits, int max_digits, int& out) {
  int n = 0, v = 0;
  while (p < s.size() && n < max_digits && s[p] >= '0' && s[p] <= '9') {
    v = v * 10 + (s[p] - '0');
    ++p;
    ++n;
  }
  out = v;
  return n >= min_digits;
}

// Parses hh:mm[:ss[.fffffff]] [AM|PM]; ticks in 100 ns.
bool parse_time_part(std::string_view s, size_t& p, int64_t& ticks) {
  int h = 0, mi = 0, sec = 0;
  if (!parse_digits(s, p, 1, 2, h) || p >= s.size() || s[p] != ':') return false;
  ++p;
  if (!parse_digits(s, p, 1, 2, mi)) return false;
  int64_t frac = 0;
  if (p < s.size() && s[p] == ':') {
    ++p;
    if (!parse_digits(s, p, 1, 2, sec)) return false;
    if (p < s.size() && s[p] == '.') {
      ++p;
      int nd = 0;
      int64_t scale = 1000000;
      while (p < s.size() && s[p] >= '0' && s[p] <= '9') {
        if (nd < 7) {
          frac += (s[p] - '0') * scale;
          scale /= 10;
        }
        ++nd;
        ++p;
      }
    }
  }
  while (p < s.size() && s[p] == ' ') ++p;
  if (p + 1 < s.size() + 1 && p + 2 <= s.size() &&
      (iequals(s.substr(p, 2), "AM") || iequals(s.substr(p, 2), "PM"))) {
    bool pm = iequals(s.substr(p, 2), "PM");
    if (h > 12) return false;
    if (h == 12) h = 0;
    if (pm) h += 12;
    p += 2;
  }
  if (h > 23 || mi > 59 || sec > 59) return false;
  ticks = ((h * 60LL + mi) * 60 + sec) * 10000000LL + frac;
  return true;
}

bool valid_date(int y, int m, int d) {
  static const int mdays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1) return false;
  bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return d <= mdays[m - 1] + (m == 2 && leap ? 1 : 0);
}

// The written forms SQL Server accepts under us_english that clients send: ISO (with - or without
// separators, optional T), m/d/yyyy, and a bare time.
bool parse_datetime_text(std::string_view s, int32_t& days, int64_t& ticks, bool& has_date) {
  size_t a = s.find_first_not_of(' ');
  if (a == std::string_view::npos) {
    days = k_days_1900;
    ticks = 0;
    has_date = false;
    return true;  // '' is 1900-01-01
  }
  s = s.substr(a, s.find_last_not_of(' ') - a + 1);
  size_t p = 0;
  int y = 1900, m = 1, d = 1;
  has_date = true;
  ticks = 0;
  size_t colon = s.find(':');
  size_t first_sep = s.find_first_of("-/.");
  size_t first_space = s.find_first_of(" T");
  bool time_only = colon != std::string_view::npos &&
                   (first_sep == std::string_view::npos || first_sep > colon) &&
                   (first_space == std::string_view::npos || first_space > colon);
  if (time_only) {
    has_date = false;
    if (!parse_time_part(s, p, ticks) || p != s.size()) return false;
    days = k_days_1900;
    return true;
  }
  int v1 = 0;
  if (!parse_digits(s, p, 1, 8, v1)) return false;
  if (p - 0 == 8 && (p == s.size() || s[p] == ' ' || s[p] == 'T')) {
    y = v1 / 10000;
    m = v1 / 100 % 100;
    d = v1 % 100;
  } else if (p == 4 && p < s.size() && (s[p] == '-' || s[p] == '/' || s[p] == '.')) {
    char sep = s[p++];
    y = v1;
    if (!parse_digits(s, p, 1, 2, m) || p >= s.size() || s[p++] != sep ||
        !parse_digits(s, p, 1, 2, d))
      return false;
  } else if (p <= 2 && p < s.size() && (s[p] == '/' || s[p] == '-' || s[p] == '.')) {
    char sep = s[p++];
    m = v1;
    if (!parse_digits(s, p, 1, 2, d) || p >= s.size() || s[p++] != sep) return false;
    size_t before = p;
    if (!parse_digits(s, p, 2, 4, y)) return false;
    if (p - before == 2) y += y < 50 ? 2000 : 1900;
  } else {
    return false;
  }
  if (p < s.size()) {
    if (s[p] != ' ' && s[p] != 'T') return false;
    while (p < s.size() && (s[p] == ' ' || s[p] == 'T')) ++p;
    if (!parse_time_part(s, p, ticks)) return false;
    if (s.size() > p && s[p] == 'Z') ++p;
  }
  if (p != s.size() || !valid_date(y, m, d)) return false;
  days = days_from_civil(y, static_cast<unsigned>(m), static_cast<unsigned>(d));
  return true;
}

value to_datetime(const value& v, const sql_type& to) {
  int32_t days = 0;
  int64_t ticks = 0;
  switch (v.k) {
    case value::kind::datetime:
      days = v.days;
      ticks = v.ticks;
      if (to.id == type_id::date || to.id == type_id::time || v.origin != type_id::time) break;
      days = k_days_1900;  // a time on its own lands on 1900-01-01
      break;
    case value::kind::string: {
      bool has_date = false;
      if (!parse_datetime_text(v.s, days, ticks, has_date))
        throw sql_error(
            241, 16, 1,
            "Conversion failed when converting date and/or time from character string.");
      break;
    }
    case value::kind::integer:
    case value::kind::real:
    case value::kind::decimal: {
      if (to.id != type_id::datetime && to.id != type_id::smalldatetime)
        throw sql_error(206, 16, 2,
                        "Operand type clash: " + sql_type{v.origin}.name() +
                            " is incompatible with " + to.name());
      double n = v.k == value::kind::integer ? static_cast<double>(v.i)
                 : v.k == value::kind::real  ? v.f
                                             : decimal_to_double(v);
      double whole = std::floor(n);
      if (whole < -53690 || whole > 2958463)
        throw sql_error(
            8115, 16, 2,
            "Arithmetic overflow error converting expression to data type " + to.name() + ".");
      days = k_days_1900 + static_cast<int32_t>(whole);
      ticks = static_cast<int64_t>(std::llround((n - whole) * k_ticks_per_day));
      break;
    }
    default:
      throw sql_error(206, 16, 2,
                      "Operand type clash: " + sql_type{v.origin}.name() +
                          " is incompatible with " + to.name());
  }
  auto out_of_range = [&] {
    std::string src = v.k == value::kind::string ? quoted_source(v) : sql_type{v.origin}.name();
    throw sql_error(242, 16, 3,
                    "The conversion of a " + src + " data type to a " + to.name() +
                        " data type resulted in an out-of-range value.");
  };
  switch (to.id) {
    case type_id::datetime: {
      // 1/300 s resolution: round the ticks to the nearest 1/300 s.
      int64_t units = (ticks * 3 + 50000) / 100000;
      ticks = units * 100000 / 3;
      if (units >= 300LL * 86400) {
        ++days;
        ticks = 0;
      }
      if (days < days_from_civil(1753, 1, 1) || days > days_from_civil(9999, 12, 31))
        out_of_range();
      break;
    }
    case type_id::smalldatetime: {
      int64_t minutes = (ticks + 300000000LL) / 600000000LL;
      ticks = minutes * 600000000LL;
      if (ticks >= k_ticks_per_day) {
        ++days;
        ticks = 0;
      }
      if (days < k_days_1900 || days > days_from_civil(2079, 6, 6)) out_of_range();
      break;
    }
    case type_id::date:
      ticks = 0;
      break;
    case type_id::time:
    case type_id::datetime2: {
      int64_t unit = 1;
      for (int i = to.scale; i < 7; ++i) unit *= 10;
      ticks = (ticks + unit / 2) / unit * unit;
      if (ticks >= k_ticks_per_day) {
        if (to.id == type_id::time)
          ticks = k_ticks_per_day - unit;
        else {
          ticks = 0;
          ++days;
        }
      }
      if (to.id == type_id::time) days = 0;
      break;
    }
    default:
      break;
  }
  value out = value::datetime(days, ticks, to.id);
  return out;
}

}  // namespace

value convert(const value& v, const sql_type& to, std::string_view table, std::string_view column) {
  if (v.is_null()) return v;
  auto clash = [&] {
    throw sql_error(
        206, 16, 2,
        "Operand type clash: " + sql_type{v.origin}.name() + " is incompatible with " + to.name());
  };
  if (to.is_integer()) return to_integer(v, to);
  if (to.is_exact_numeric()) return to_decimal(v, to);
  if (to.is_temporal()) return to_datetime(v, to);
  switch (to.id) {
    case type_id::real:
    case type_id::float_: {
      double d = 0;
      if (v.k == value::kind::integer)
        d = static_cast<double>(v.i);
      else if (v.k == value::kind::decimal)
        d = decimal_to_double(v);
      else if (v.k == value::kind::real)
        d = v.f;
      else if (v.k == value::kind::string) {
        std::string t = v.s;
        char* end = nullptr;
        size_t a = t.find_first_not_of(' ');
        if (a == std::string::npos) return value::real(0, to.id);
        d = std::strtod(t.c_str() + a, &end);
        while (end && *end == ' ') ++end;
        if (end == t.c_str() + a || *end != '\0' || !std::isfinite(d) ||
            t.find_first_of("xXnN") != std::string::npos)
          throw sql_error(8114, 16, 5,
                          "Error converting data type " + quoted_source(v) + " to float.");
      } else if (v.k == value::kind::datetime && v.origin == type_id::datetime) {
        d = (v.days - k_days_1900) + static_cast<double>(v.ticks) / k_ticks_per_day;
      } else {
        clash();
      }
      if (to.id == type_id::real) {
        if (std::fabs(d) > 3.40282346638528859811704183484516925440e+38) overflow(v, to);
        d = static_cast<double>(static_cast<float>(d));
      }
      return value::real(d, to.id);
    }
    case type_id::uniqueidentifier: {
      if (v.k == value::kind::guid) return v;
      if (v.k == value::kind::binary && v.s.size() == 16) return value::guid(v.s);
      if (v.k != value::kind::string) clash();
      std::string t = v.s;
      if (t.size() == 38 && t.front() == '{' && t.back() == '}') t = t.substr(1, 36);
      static const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
      std::string bytes(16, '\0');
      bool ok = t.size() == 36 && t[8] == '-' && t[13] == '-' && t[18] == '-' && t[23] == '-';
      size_t p = 0;
      for (int i = 0; i < 16 && ok; ++i) {
        if (p == 8 || p == 13 || p == 18 || p == 23) ++p;
        int hv = 0;
        for (int k = 0; k < 2; ++k, ++p) {
          char c = t[p];
          int dgt = c >= '0' && c <= '9'   ? c - '0'
                    : c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                           : -1;
          if (dgt < 0) ok = false;
          hv = hv * 16 + dgt;
        }
        bytes[static_cast<size_t>(order[i])] = static_cast<char>(hv);
      }
      if (!ok)
        throw sql_error(
            8169, 16, 2,
            "Conversion failed when converting from a character string to uniqueidentifier.");
      return value::guid(bytes);
    }
    default:
      break;
  }
  std::string qualified_table(table);
  if (to.is_string()) {
    std::string text;
    if (v.k == value::kind::string)
      text = v.s;
    else if (v.k == value::kind::binary && !to.is_unicode())
      text = v.s;  // bytes reinterpreted, as SQL Server does
    else if (v.k == value::kind::binary)
      text = utf16le_to_utf8(v.s);
    else
      text = to_text(v, sql_type{v.origin, 0, 0, 7});
    if (!to.is_unicode())
      text = cp1252_to_utf8(utf8_to_cp1252(text));  // what a code-page column can hold
    if (to.length != k_max_length && to.id != type_id::text && to.id != type_id::ntext) {
      size_t n = to.is_unicode() ? utf16_length(text) : code_points(text);
      if (n > static_cast<size_t>(to.length)) {
        // Trailing spaces are trimmed silently; anything else is an error.
        size_t cut = text.find_last_not_of(' ');
        std::string trimmed = cut == std::string::npos ? "" : text.substr(0, cut + 1);
        size_t tn = to.is_unicode() ? utf16_length(trimmed) : code_points(trimmed);
        if (tn > static_cast<size_t>(to.length))
          throw sql_error(
              2628, 16, 1,
              "String or binary data would be truncated in table '" + qualified_table +
                  "', column '" + std::string(column) + "'. Truncated value: '" +
                  utf8_prefix_units(text, static_cast<size_t>(to.length), to.is_unicode()) + "'.");
        text = utf8_prefix_units(text, static_cast<size_t>(to.length), to.is_unicode());
      }
    }
    if ((to.id == type_id::char_ || to.id == type_id::nchar) && to.length != k_max_length) {
      size_t n = to.is_unicode() ? utf16_length(text) : code_points(text);
      if (n < static_cast<size_t>(to.length)) text.append(static_cast<size_t>(to.length) - n, ' ');
    }
    value out = value::string(std::move(text), to.is_unicode());
    out.origin = to.id;
    return out;
  }
  if (to.is_binary()) {
    std::string bytes;
    if (v.k == value::kind::binary || v.k == value::kind::guid)
      bytes = v.s;
    else if (v.k == value::kind::string && (to.id == type_id::image))
      bytes = v.s;
    else if (v.k == value::kind::string)
      throw sql_error(257, 16, 3,
                      "Implicit conversion from data type " + quoted_source(v) + " to " +
                          to.name() +
                          " is not allowed. Use the CONVERT function to run this query.");
    else if (v.k == value::kind::integer) {
      int width = v.origin == type_id::bigint                                ? 8
                  : v.origin == type_id::smallint                            ? 2
                  : v.origin == type_id::tinyint || v.origin == type_id::bit ? 1
                                                                             : 4;
      for (int i = width - 1; i >= 0; --i)
        bytes.push_back(static_cast<char>((static_cast<uint64_t>(v.i) >> (8 * i)) & 0xff));
    } else {
      clash();
    }
    if (to.length != k_max_length && to.id != type_id::image &&
        bytes.size() > static_cast<size_t>(to.length)) {
      value shown = value::binary(bytes.substr(0, static_cast<size_t>(to.length)));
      throw sql_error(2628, 16, 1,
                      "String or binary data would be truncated in table '" + qualified_table +
                          "', column '" + std::string(column) + "'. Truncated value: '" +
                          to_text(shown, to) + "'.");
    }
    if (to.id == type_id::binary) bytes.resize(static_cast<size_t>(to.length), '\0');
    value out = value::binary(std::move(bytes));
    out.origin = to.id;
    return out;
  }
  clash();
  return v;
}

}  // namespace tds
