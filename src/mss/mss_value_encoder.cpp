#include "mss_value_encoder.hpp"

#include <sybdb.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>

#include "odb_exception.hpp"
#include "tk_civil.hpp"
#include "ole_date.hpp"
#include "ole_decimal.hpp"
#include "ole_guid_extractor.hpp"
#include "tk_text.hpp"
#include "udb_custom_conversion.hpp"

namespace {

using kind = mss_value_encoder::kind;

struct type_entry {
  const char* name;
  kind k;
  int host_type;
};

// Every destination type the loader knows. Types not listed travel as text
// and the server converts them.
constexpr type_entry type_table[] = {
    {"bit", kind::bit, SYBBIT},
    {"tinyint", kind::tinyint, SYBINT1},
    {"smallint", kind::smallint, SYBINT2},
    {"int", kind::int_, SYBINT4},
    {"bigint", kind::bigint, SYBINT8},
    {"real", kind::real, SYBFLT8},
    {"float", kind::float_, SYBFLT8},
    {"money", kind::money, SYBMONEY},
    {"smallmoney", kind::smallmoney, SYBMONEY},
    {"decimal", kind::decimal, SYBCHAR},
    {"numeric", kind::decimal, SYBCHAR},
    {"datetime", kind::datetime, SYBDATETIME},
    {"smalldatetime", kind::smalldatetime, SYBDATETIME},
    {"date", kind::date, SYBMSDATETIME2},
    {"datetime2", kind::datetime2, SYBMSDATETIME2},
    {"time", kind::time, SYBMSDATETIME2},
    {"nvarchar", kind::text, SYBCHAR},
    {"nchar", kind::text, SYBCHAR},
    {"ntext", kind::text, SYBCHAR},
    {"xml", kind::text, SYBCHAR},
    {"sysname", kind::text, SYBCHAR},
    {"varchar", kind::ansi_text, SYBCHAR},
    {"char", kind::ansi_text, SYBCHAR},
    {"text", kind::ansi_text, SYBCHAR},
    {"binary", kind::binary, SYBBINARY},
    {"varbinary", kind::binary, SYBBINARY},
    {"image", kind::binary, SYBBINARY},
    {"timestamp", kind::binary, SYBBINARY},
    {"rowversion", kind::binary, SYBBINARY},
    {"uniqueidentifier", kind::guid, SYBCHAR},
};

const type_entry* entry_for(kind k) {
  for (const auto& e : type_table)
    if (e.k == k) return &e;
  return nullptr;
}

bool is_null_like(const ole_variant& v) {
  return v.get_type() == VT_EMPTY || v.get_type() == VT_NULL;
}

template <class T>
void put(std::string& out, const T& v) {
  out.assign(reinterpret_cast<const char*>(&v), sizeof v);
}

template <class T>
T get(const std::string& bytes) {
  T v{};
  std::memcpy(&v, bytes.data(), std::min(sizeof v, bytes.size()));
  return v;
}

// UTF-16LE without going through iconv: this runs for every text cell.
void append_utf16le(const std::wstring& text, std::string& out) {
  out.clear();
  out.reserve(text.size() * 2);
  auto unit = [&out](std::uint32_t u) {
    out += static_cast<char>(u & 0xFF);
    out += static_cast<char>(u >> 8);
  };
  for (wchar_t wc : text) {
    auto c = static_cast<std::uint32_t>(wc);
    if (c >= 0x10000 && c <= 0x10FFFF) {
      c -= 0x10000;
      unit(0xD800 + (c >> 10));
      unit(0xDC00 + (c & 0x3FF));
    } else {
      unit(c > 0x10FFFF ? 0xFFFD : c);
    }
  }
}

std::int32_t utf16_units(const std::wstring& text) {
  std::int32_t n = 0;
  for (wchar_t c : text) n += static_cast<std::uint32_t>(c) > 0xFFFF ? 2 : 1;
  return n;
}

std::wstring from_utf16le(const std::string& bytes) {
  std::wstring out;
  out.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    std::uint32_t u = static_cast<std::uint8_t>(bytes[i]) |
                      static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[i + 1])) << 8;
    if (u >= 0xD800 && u < 0xDC00 && i + 3 < bytes.size()) {
      const std::uint32_t low = static_cast<std::uint8_t>(bytes[i + 2]) |
                                static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[i + 3]))
                                    << 8;
      u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
      i += 2;
    }
    out += static_cast<wchar_t>(u);
  }
  return out;
}

std::string quoted(const std::string& utf8, const char* prefix) {
  std::string out = prefix;
  out += '\'';
  for (char c : utf8) {
    out += c;
    if (c == '\'') out += '\'';
  }
  out += '\'';
  return out;
}

std::string shown_value(const ole_variant& value) {
  if (is_null_like(value)) return "NULL";
  std::wstring text;
  try {
    text = value.to_wstring();
  } catch (const std::exception&) {
    return "(a value of type " + std::to_string(value.get_type()) + ")";
  }
  constexpr std::size_t max_shown = 100;
  if (text.size() > max_shown) return tk_w2utf8(text.substr(0, max_shown)) + "...";
  return tk_w2utf8(text);
}

// A date and time broken down to 100-nanosecond ticks.
struct moment {
  std::int64_t days = 0;   // since 1970-01-01
  std::int64_t ticks = 0;  // since midnight, 100 ns
};

constexpr std::int64_t ticks_per_day = 864'000'000'000;

// Reads `count` digits at `p`.
bool read_digits(const char*& p, const char* end, int count, int& out) {
  out = 0;
  for (int i = 0; i < count; ++i, ++p) {
    if (p == end || *p < '0' || *p > '9') return false;
    out = out * 10 + (*p - '0');
  }
  return true;
}

// hh:mm:ss[.fffffff] as ticks since midnight.
bool read_exact_time(const char*& p, const char* end, std::int64_t& ticks) {
  int hour = 0, minute = 0, second = 0;
  if (!read_digits(p, end, 2, hour) || p == end || *p++ != ':' || !read_digits(p, end, 2, minute) ||
      p == end || *p++ != ':' || !read_digits(p, end, 2, second) || hour > 23 || minute > 59 ||
      second > 59)
    return false;
  std::int64_t fraction = 0;
  int digits = 0;
  if (p != end && *p == '.') {
    for (++p; p != end && *p >= '0' && *p <= '9' && digits < 7; ++p, ++digits)
      fraction = fraction * 10 + (*p - '0');
    if (digits == 0) return false;
  }
  for (; digits < 7; ++digits) fraction *= 10;
  ticks = ((hour * 60LL + minute) * 60 + second) * 10'000'000 + fraction;
  return true;
}

// The exact forms a typed column's values come in (yyyy-mm-dd, the same
// with " hh:mm:ss[.fffffff]" or "T...", or the time alone), read to the tick
// and for every year from 1: the general date reader stops at milliseconds.
std::optional<moment> exact_moment(const std::string& text) {
  const char* p = text.data();
  const char* const end = p + text.size();
  moment m;
  m.days = tk_day_zero;
  if (text.size() >= 10 && text[4] == '-') {
    int year = 0, month = 0, day = 0;
    if (!read_digits(p, end, 4, year) || *p++ != '-' || !read_digits(p, end, 2, month) ||
        *p++ != '-' || !read_digits(p, end, 2, day) || year < 1 || month < 1 || month > 12 ||
        day < 1)
      return std::nullopt;
    m.days = tk_days_from_civil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    const tk_civil_date back = tk_civil_from_days(m.days);
    if (back.day != static_cast<unsigned>(day)) return std::nullopt;  // 2021-02-30
    if (p != end && ((*p != ' ' && *p != 'T') || !read_exact_time(++p, end, m.ticks)))
      return std::nullopt;
  } else if (!read_exact_time(p, end, m.ticks)) {
    return std::nullopt;
  }
  if (p != end) return std::nullopt;
  return m;
}

std::optional<moment> moment_of(const ole_variant& value) {
  SYSTEMTIME st{};
  if (value.get_type() == VT_BSTR)
    if (std::optional<moment> exact = exact_moment(value.to_string())) return exact;
  if (value.get_type() == VT_DATE) {
    value.get_systemtime(st);
  } else if (value.get_type() == VT_BSTR) {
    ole_date date(value.to_wstring());
    if (!date.is_valid()) return std::nullopt;
    st = date.systemtime;
  } else {
    return std::nullopt;
  }
  moment m;
  // A pure time sits on day 0 of the date numbers, 1899-12-30.
  const bool b_time_only = st.wYear == 0 && st.wMonth == 0 && st.wDay == 0;
  m.days = b_time_only ? tk_day_zero : tk_days_from_civil(st.wYear, st.wMonth, st.wDay);
  m.ticks = (((st.wHour * 60LL + st.wMinute) * 60 + st.wSecond) * 1000 + st.wMilliseconds) * 10000;
  return m;
}

std::string two(unsigned v) {
  char b[4];
  std::snprintf(b, sizeof b, "%02u", v % 100);
  return b;
}

std::string date_text(std::int64_t days) {
  const tk_civil_date c = tk_civil_from_days(days);
  char b[16];
  std::snprintf(b, sizeof b, "%04d-%02u-%02u", c.year, c.month, c.day);
  return b;
}

// hh:mm:ss followed by `digits` digits of the fraction.
std::string time_text(std::int64_t ticks, int digits) {
  const std::int64_t seconds = ticks / 10'000'000;
  std::string out = two(static_cast<unsigned>(seconds / 3600)) + ":" +
                    two(static_cast<unsigned>(seconds / 60 % 60)) + ":" +
                    two(static_cast<unsigned>(seconds % 60));
  if (digits > 0) {
    char b[16];
    std::snprintf(b, sizeof b, "%07lld", static_cast<long long>(ticks % 10'000'000));
    out += '.';
    out.append(b, static_cast<std::size_t>(digits));
  }
  return out;
}

// Decimal text without a sign: digits left and right of the point, with
// leading zeros of the whole part and trailing zeros of the fraction gone.
struct digit_count {
  int whole = 0;
  int fraction = 0;
};

digit_count count_digits(const std::string& text) {
  std::string_view s = text;
  if (!s.empty() && (s[0] == '-' || s[0] == '+')) s.remove_prefix(1);
  const auto point = s.find('.');
  std::string_view whole = s.substr(0, point);
  std::string_view fraction = point == std::string_view::npos ? std::string_view() : s.substr(point + 1);
  while (!whole.empty() && whole.front() == '0') whole.remove_prefix(1);
  while (!fraction.empty() && fraction.back() == '0') fraction.remove_suffix(1);
  return {static_cast<int>(whole.size()), static_cast<int>(fraction.size())};
}

// [-]digits[.digits]: a decimal's exact written form.
bool is_plain_decimal(const std::string& text) {
  std::size_t i = !text.empty() && text[0] == '-' ? 1 : 0;
  const std::size_t first = i;
  bool b_point = false;
  for (; i < text.size(); ++i) {
    if (text[i] == '.' && !b_point && i > first && i + 1 < text.size())
      b_point = true;
    else if (text[i] < '0' || text[i] > '9')
      return false;
  }
  return i > first;
}

// A whole number written out in full: sign, digits, and at most a point
// followed by zeros. Anything else is no whole number, not a prefix of one.
std::optional<__int128> whole_number(const std::wstring& raw) {
  const std::wstring text = tk_trim(raw);
  std::size_t i = 0;
  const bool b_negative = !text.empty() && text[0] == L'-';
  if (!text.empty() && (text[0] == L'-' || text[0] == L'+')) ++i;
  __int128 value = 0;
  std::size_t digits = 0;
  for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i, ++digits) {
    value = value * 10 + (text[i] - L'0');
    if (value > (static_cast<__int128>(1) << 64)) value = static_cast<__int128>(1) << 64;  // saturate
  }
  if (digits == 0) return std::nullopt;
  if (i < text.size() && text[i] == L'.') {
    for (++i; i < text.size() && text[i] == L'0'; ++i) {
    }
  }
  if (i != text.size()) return std::nullopt;
  return b_negative ? -value : value;
}

// A real number as C writes it, the whole text and nothing else.
std::optional<double> real_number(const std::wstring& raw) {
  const std::string text = tk_w2utf8(tk_trim(raw));
  const char* first = text.data();
  if (!text.empty() && text[0] == '+') ++first;
  double d = 0;
  const auto r = std::from_chars(first, text.data() + text.size(), d);
  if (r.ec != std::errc() || r.ptr != text.data() + text.size() || text.empty())
    return std::nullopt;
  return d;
}

bool hex_text(const std::wstring& text, std::string& bytes) {
  if (text.size() < 2 || text[0] != L'0' || (text[1] != L'x' && text[1] != L'X') ||
      text.size() % 2 != 0)
    return false;
  auto nibble = [](wchar_t c) -> int {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
  };
  bytes.clear();
  for (std::size_t i = 2; i < text.size(); i += 2) {
    const int hi = nibble(text[i]), lo = nibble(text[i + 1]);
    if (hi < 0 || lo < 0) return false;
    bytes += static_cast<char>(hi * 16 + lo);
  }
  return true;
}

}  // namespace

mss_value_encoder::mss_value_encoder(std::wstring table, std::vector<mss_column_info> columns)
    : table_(std::move(table)) {
  columns_.reserve(columns.size());
  for (auto& c : columns) {
    column_plan plan;
    plan.k = kind_of(c.type_name);
    if (plan.k == kind::ansi_text && c.b_unicode && c.type_name.empty()) plan.k = kind::text;
    plan.info = std::move(c);
    columns_.push_back(std::move(plan));
  }
}

mss_value_encoder::kind mss_value_encoder::kind_of(const std::string& type_name) {
  if (type_name.empty()) return kind::text;
  for (const auto& e : type_table)
    if (type_name == e.name) return e.k;
  return kind::ansi_text;
}

void mss_value_encoder::set_column(std::size_t position, mss_column_info info) {
  column_plan& plan = columns_.at(position);
  plan.k = kind_of(info.type_name);
  plan.info = std::move(info);
}

int mss_value_encoder::host_type(std::size_t position) const {
  const type_entry* e = entry_for(columns_.at(position).k);
  return e ? e->host_type : SYBCHAR;
}

void mss_value_encoder::refuse(const column_plan& plan, const ole_variant& value,
                               const std::string& reason, std::uint32_t low_code) const {
  throw odb_exception(tk_code_kind_odb | low_code,
                      "Column '" + tk_w2utf8(plan.info.name) + "' of table " + tk_w2utf8(table_) +
                          " cannot take the value '" + shown_value(value) + "': " + reason + ".");
}

void mss_value_encoder::truncated(const column_plan& plan, const std::string& shown) const {
  // Worded as the server words it, so both paths read alike.
  throw odb_exception(tk_code_kind_odb | odb_low_overflow,
                      "String or binary data would be truncated in table '" + tk_w2utf8(table_) +
                          "', column '" + tk_w2utf8(plan.info.name) + "'. Truncated value: '" +
                          shown + "'.");
}

void mss_value_encoder::encode(const ole_variant& value, std::size_t position,
                               mss_encoded_value& out) const {
  const column_plan& plan = columns_.at(position);
  if (!is_null_like(value)) {
    if (udb_custom_conversion::is_acceptable2(value)) {
      // A conversion rule writes the value's SQL text; what is between its
      // quotes is the value.
      std::wstring rule = udb_custom_conversion::handle2(value);
      if (rule.size() >= 2 && rule.back() == L'\'') {
        const auto open = rule.find(L'\'');
        rule = open < rule.size() - 1 ? rule.substr(open + 1, rule.size() - open - 2) : rule;
      }
      encode_present(ole_variant(rule), plan, out);
      return;
    }
    encode_present(value, plan, out);
    return;
  }
  if (!plan.info.b_not_null) {
    out.kind = mss_encoded_value::null_value;
    out.bytes.clear();
    return;
  }
  // Bulk copy cannot ask the server for a column's default: it is written
  // here, on both paths alike.
  if (!is_null_like(plan.info.def_value)) {
    encode_present(plan.info.def_value, plan, out);
    return;
  }
  refuse(plan, value, "the column takes no NULL and has no default", odb_low_integrity);
}

void mss_value_encoder::encode_present(const ole_variant& value, const column_plan& plan,
                                       mss_encoded_value& out) const {
  out.kind = mss_encoded_value::bytes_value;
  const VARTYPE vt = value.get_type();
  const std::string type = plan.info.type_name;
  auto not_a = [&](const char* what) {
    refuse(plan, value, std::string("it is not ") + what, odb_low_conversion);
  };
  auto as = [&](VARTYPE target) {
    ole_variant v;
    try {
      if (vt == VT_BSTR) {
        v = ole_variant::from_wstring(tk_trim(value.to_wstring()), target);
      } else {
        v = value;
        v.change_type(target);
      }
    } catch (const ole_cast_exception&) {
      refuse(plan, value, "it is out of the range of " + type, odb_low_overflow);
    } catch (const std::exception&) {
      v = ole_variant();
    }
    return v;
  };

  switch (plan.k) {
    case kind::tinyint:
    case kind::smallint:
    case kind::int_:
    case kind::bigint: {
      std::int64_t n = 0;
      if (vt == VT_R4 || vt == VT_R8) {
        const double d = value.to_double();
        if (!std::isfinite(d) || std::trunc(d) != d) not_a("a whole number");
        if (!(std::fabs(d) < 9.2e18)) refuse(plan, value, "it is out of the range of " + type, odb_low_overflow);
        n = static_cast<std::int64_t>(d);
      } else if (vt == VT_CY || vt == VT_DECIMAL) {
        const std::string text = value.to_string();
        if (count_digits(text).fraction > 0) not_a("a whole number");
        ole_variant v = ole_variant::from_string(text.substr(0, text.find('.')), VT_I8);
        if (v.get_type() != VT_I8) refuse(plan, value, "it is out of the range of " + type, odb_low_overflow);
        n = v.i8_value;
      } else if (vt == VT_BSTR) {
        const std::optional<__int128> w = whole_number(value.to_wstring());
        if (!w) not_a("a whole number");
        if (*w < std::numeric_limits<std::int64_t>::min() ||
            *w > std::numeric_limits<std::int64_t>::max())
          refuse(plan, value, "it is out of the range of " + type, odb_low_overflow);
        n = static_cast<std::int64_t>(*w);
      } else {
        ole_variant v = as(VT_I8);
        if (v.get_type() != VT_I8) not_a("a whole number");
        n = v.i8_value;
      }
      const auto [low, high] =
          plan.k == kind::tinyint    ? std::pair<std::int64_t, std::int64_t>{0, 255}
          : plan.k == kind::smallint ? std::pair<std::int64_t, std::int64_t>{-32768, 32767}
          : plan.k == kind::int_
              ? std::pair<std::int64_t, std::int64_t>{std::numeric_limits<std::int32_t>::min(),
                                                      std::numeric_limits<std::int32_t>::max()}
              : std::pair<std::int64_t, std::int64_t>{std::numeric_limits<std::int64_t>::min(),
                                                      std::numeric_limits<std::int64_t>::max()};
      if (n < low || n > high)
        refuse(plan, value,
               type + " holds " + std::to_string(low) + " to " + std::to_string(high),
               odb_low_overflow);
      if (plan.k == kind::tinyint) put(out.bytes, static_cast<std::uint8_t>(n));
      else if (plan.k == kind::smallint) put(out.bytes, static_cast<std::int16_t>(n));
      else if (plan.k == kind::int_) put(out.bytes, static_cast<std::int32_t>(n));
      else put(out.bytes, n);
      return;
    }
    case kind::bit: {
      bool b = false;
      if (vt == VT_BOOL) {
        b = value.variant.boolVal != 0;
      } else if (vt == VT_BSTR) {
        const std::wstring t = tk_to_lower(tk_trim(value.to_wstring()));
        if (t == L"true") {
          b = true;
        } else if (t == L"false") {
          b = false;
        } else {
          ole_variant v = as(VT_R8);
          if (v.get_type() != VT_R8) not_a("true, false or a number");
          b = v.variant.dblVal != 0;
        }
      } else {
        ole_variant v = as(VT_R8);
        if (v.get_type() != VT_R8) not_a("true, false or a number");
        b = v.variant.dblVal != 0;
      }
      put(out.bytes, static_cast<std::uint8_t>(b ? 1 : 0));
      return;
    }
    case kind::real:
    case kind::float_: {
      double d = 0;
      if (vt == VT_BSTR) {
        const std::optional<double> r = real_number(value.to_wstring());
        if (!r) not_a("a number");
        d = *r;
      } else {
        ole_variant v = vt == VT_R8 ? value : as(VT_R8);
        if (v.get_type() != VT_R8) not_a("a number");
        d = v.variant.dblVal;
      }
      if (!std::isfinite(d)) not_a("a finite number");
      const double mag = std::fabs(d);
      const double max = plan.k == kind::real ? 3.40282347e38 : std::numeric_limits<double>::max();
      const double min = plan.k == kind::real ? 1.17549435e-38 : 2.23e-308;
      if (mag > max || (mag != 0 && mag < min))
        refuse(plan, value, "it is out of the range of " + type, odb_low_overflow);
      put(out.bytes, d);
      return;
    }
    case kind::money:
    case kind::smallmoney: {
      ole_variant v = vt == VT_CY ? value : as(VT_CY);
      if (v.get_type() != VT_CY) not_a("an amount");
      const std::int64_t n = v.variant.cyVal.int64;
      if (plan.k == kind::smallmoney && (n < std::numeric_limits<std::int32_t>::min() ||
                                            n > std::numeric_limits<std::int32_t>::max()))
        refuse(plan, value, "smallmoney holds -214748.3648 to 214748.3647", odb_low_overflow);
      DBMONEY m;
      m.mnyhigh = static_cast<DBINT>(n >> 32);
      m.mnylow = static_cast<DBUINT>(n & 0xFFFFFFFF);
      put(out.bytes, m);
      return;
    }
    case kind::decimal: {
      // A decimal written out plainly goes as written, also past the 28
      // digits an OLE decimal holds.
      if (vt == VT_BSTR && is_plain_decimal(value.to_string())) {
        out.bytes = value.to_string();
        if (out.bytes.find('.') != std::string::npos) {
          while (out.bytes.back() == '0') out.bytes.pop_back();
          if (out.bytes.back() == '.') out.bytes.pop_back();
        }
      } else {
        ole_variant v = vt == VT_DECIMAL ? value : as(VT_DECIMAL);
        if (v.get_type() != VT_DECIMAL) not_a("a number");
        out.bytes = ole_dec_to_text(v.variant.decVal);
      }
      const digit_count d = count_digits(out.bytes);
      const int p = plan.info.precision, s = plan.info.scale;
      const std::string shape = type + "(" + std::to_string(p) + "," + std::to_string(s) + ")";
      if (p > 0 && d.whole > p - s)
        refuse(plan, value,
               shape + " holds " + std::to_string(p - s) + " digits before the decimal point",
               odb_low_overflow);
      if (p > 0 && d.fraction > s)
        refuse(plan, value, shape + " keeps " + std::to_string(s) + " decimal places",
               odb_low_overflow);
      return;
    }
    case kind::datetime:
    case kind::smalldatetime: {
      std::optional<moment> m = moment_of(value);
      if (!m) not_a("a date");
      // datetime counts time in 1/300 s; the rounding may reach midnight.
      std::int64_t ticks300 = (m->ticks / 10000 * 3 + 5) / 10;
      std::int64_t days = m->days;
      if (ticks300 >= 25'920'000) {
        ticks300 -= 25'920'000;
        ++days;
      }
      const bool b_small = plan.k == kind::smalldatetime;
      const std::int64_t first = b_small ? tk_day_1900 : tk_days_from_civil(1753, 1, 1);
      const std::int64_t last =
          b_small ? tk_days_from_civil(2079, 6, 6) : tk_days_from_civil(9999, 12, 31);
      if (days < first || days > last)
        refuse(plan, value,
               type + " holds dates from " + date_text(first) + " to " + date_text(last),
               odb_low_overflow);
      DBDATETIME dt;
      dt.dtdays = static_cast<DBINT>(days - tk_day_1900);
      dt.dttime = static_cast<DBINT>(ticks300);
      put(out.bytes, dt);
      return;
    }
    case kind::date:
    case kind::datetime2:
    case kind::time: {
      std::optional<moment> m = moment_of(value);
      if (!m) not_a(plan.k == kind::time ? "a time" : "a date");
      if (plan.k != kind::time &&
          (m->days < tk_day_0001 || m->days > tk_days_from_civil(9999, 12, 31)))
        refuse(plan, value, type + " holds dates from 0001-01-01 to 9999-12-31", odb_low_overflow);
      DBDATETIMEALL all{};
      all.time_prec = 7;
      all.has_date = plan.k != kind::time;
      all.has_time = plan.k != kind::date;
      all.date = all.has_date ? static_cast<DBINT>(m->days - tk_day_1900) : 0;
      all.time = all.has_time ? static_cast<DBUBIGINT>(m->ticks) : 0;
      put(out.bytes, all);
      return;
    }
    case kind::binary: {
      if (ole_is_array_tag(vt)) {
        auto span = value.get_bytes();
        out.bytes.assign(reinterpret_cast<const char*>(span.data()), span.size());
      } else {
        const std::wstring text = value.to_wstring();
        if (!hex_text(text, out.bytes)) out.bytes = tk_w2utf8(text);
      }
      const mss_column_info& c = plan.info;
      if (!c.b_long && c.length > 0 && static_cast<std::int32_t>(out.bytes.size()) > c.length)
        truncated(plan, "0x" + tk_hex_encode(reinterpret_cast<const std::uint8_t*>(out.bytes.data()),
                                             static_cast<std::size_t>(c.length)));
      if (out.bytes.empty()) out.kind = mss_encoded_value::empty_value;
      return;
    }
    case kind::guid: {
      std::wstring text = value.to_wstring();
      ole_guid_extractor guid(text);
      if (guid.b_found) {
        const std::wstring braced = guid.braced_guid();
        text = braced.substr(1, braced.size() - 2);
      }
      out.bytes = tk_w2utf8(text);
      if (out.bytes.empty()) out.kind = mss_encoded_value::empty_value;
      return;
    }
    case kind::text:
    case kind::ansi_text:
      break;
  }

  // Text is never cut. Trailing blanks beyond the column go, as the server
  // drops them too; anything else beyond it fails the row.
  std::wstring text = value.to_wstring();
  const mss_column_info& c = plan.info;
  const bool b_unicode = plan.k == kind::text;
  if (!c.b_long && c.length > 0) {
    auto measure = [&](const std::wstring& t) {
      return b_unicode ? utf16_units(t)
                       : static_cast<std::int32_t>(tk_w2charset(t, "CP1252").size());
    };
    if (measure(text) > c.length) {
      std::wstring trimmed = text;
      while (!trimmed.empty() && trimmed.back() == L' ') trimmed.pop_back();
      if (measure(trimmed) > c.length) {
        std::wstring shown;
        std::int32_t n = 0;
        for (wchar_t ch : text) {
          const std::int32_t w = static_cast<std::uint32_t>(ch) > 0xFFFF ? 2 : 1;
          if (n + w > c.length) break;
          shown += ch;
          n += w;
        }
        truncated(plan, tk_w2utf8(shown));
      }
      text = trimmed;
      text.append(static_cast<std::size_t>(std::max(c.length - measure(text), 0)), L' ');
    }
  }
  if (text.empty()) {
    out.kind = mss_encoded_value::empty_value;
    out.bytes.clear();
    return;
  }
  if (b_unicode)
    append_utf16le(text, out.bytes);
  else
    out.bytes = tk_w2charset(text, "CP1252");
}

std::string mss_value_encoder::literal(const mss_encoded_value& value, std::size_t position) const {
  const column_plan& plan = columns_.at(position);
  if (value.kind == mss_encoded_value::null_value) return "NULL";
  if (value.kind == mss_encoded_value::empty_value)
    return plan.k == kind::binary ? "0x" : "N''";
  const std::string& b = value.bytes;
  switch (plan.k) {
    case kind::bit:
    case kind::tinyint:
      return std::to_string(get<std::uint8_t>(b));
    case kind::smallint:
      return std::to_string(get<std::int16_t>(b));
    case kind::int_:
      return std::to_string(get<std::int32_t>(b));
    case kind::bigint:
      return std::to_string(get<std::int64_t>(b));
    case kind::real:
    case kind::float_: {
      char buf[32];
      const auto r = std::to_chars(buf, buf + sizeof buf, get<double>(b));
      return std::string(buf, r.ptr);
    }
    case kind::money:
    case kind::smallmoney: {
      const auto m = get<DBMONEY>(b);
      const std::int64_t n =
          static_cast<std::int64_t>((static_cast<std::uint64_t>(static_cast<std::uint32_t>(m.mnyhigh)) << 32) |
                                    m.mnylow);
      CY cy{};
      cy.int64 = n;
      return ole_cy_to_text(cy);
    }
    case kind::decimal:
      return b;
    case kind::datetime:
    case kind::smalldatetime: {
      const auto dt = get<DBDATETIME>(b);
      const std::int64_t ms = (static_cast<std::int64_t>(dt.dttime) * 10 + 1) / 3;
      return "'" + date_text(dt.dtdays + tk_day_1900) + "T" + time_text(ms * 10000, 3) + "'";
    }
    case kind::date:
    case kind::datetime2:
    case kind::time: {
      const auto all = get<DBDATETIMEALL>(b);
      const std::string time = time_text(static_cast<std::int64_t>(all.time), 7);
      const std::string date = date_text(all.date + tk_day_1900);
      if (plan.k == kind::date) return "'" + date + "'";
      if (plan.k == kind::time) return "'" + time + "'";
      return "'" + date + "T" + time + "'";
    }
    case kind::binary:
      return "0x" + tk_hex_encode(reinterpret_cast<const std::uint8_t*>(b.data()), b.size());
    case kind::guid:
      return quoted(b, "");
    case kind::text:
      return quoted(tk_w2utf8(from_utf16le(b)), "N");
    case kind::ansi_text:
      return quoted(tk_w2utf8(tk_charset2w(b, "CP1252")), "N");
  }
  return "NULL";
}
