#include "mss_table.hpp"

#include <sybdb.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <cwctype>

#include "mss_engine.hpp"
#include "mss_field_upsizer.hpp"
#include "ole_date.hpp"
#include "ole_decimal.hpp"
#include "ole_guid_extractor.hpp"
#include "tk_mail_assertion.hpp"
#include "tk_support.hpp"
#include "tk_text.hpp"
#include "tk_trace.hpp"
#include "udb_custom_conversion.hpp"

namespace {

const char* const shape_error =
    "The structure of data source does not conform to the destination table.";

std::wstring lower(std::wstring s) {
  for (auto& c : s) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
  return s;
}

// sp_columns' TABLE_NAME argument is a LIKE pattern: its wildcards are escaped
// and the rows are then matched exactly.
std::string like_literal(const std::wstring& text) {
  std::wstring out = L"N'";
  for (wchar_t c : text) {
    if (c == L'[' || c == L'_' || c == L'%') {
      out += L'[';
      out += c;
      out += L']';
    } else {
      out += c;
      if (c == L'\'') out += L'\'';
    }
  }
  return tk_w2utf8(out + L"'");
}

VARTYPE vartype_for(const std::wstring& type_name) {
  static const std::pair<const wchar_t*, VARTYPE> map[] = {{L"int", VT_I4},
                                                           {L"smallint", VT_I2},
                                                           {L"tinyint", VT_UI1},
                                                           {L"bigint", VT_I8},
                                                           {L"bit", VT_BOOL},
                                                           {L"float", VT_R8},
                                                           {L"real", VT_R4},
                                                           {L"money", VT_CY},
                                                           {L"smallmoney", VT_CY},
                                                           {L"decimal", VT_DECIMAL},
                                                           {L"numeric", VT_DECIMAL},
                                                           {L"datetime", VT_DATE},
                                                           {L"smalldatetime", VT_DATE},
                                                           {L"date", VT_DATE},
                                                           {L"datetime2", VT_DATE},
                                                           {L"time", VT_DATE},
                                                           {L"datetimeoffset", VT_DATE},
                                                           {L"binary", VT_BLOB},
                                                           {L"varbinary", VT_BLOB},
                                                           {L"image", VT_BLOB},
                                                           {L"timestamp", VT_BLOB},
                                                           {L"rowversion", VT_BLOB}};
  for (const auto& [name, vt] : map)
    if (type_name == name) return vt;
  return VT_BSTR;
}

// Days from 1900-01-01 to a civil date.
long days_since_1900(int y, int m, int d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const long yoe = y - era * 400;
  const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468 + 25567;
}

template <class T>
std::string raw(const T& v) {
  return std::string(reinterpret_cast<const char*>(&v), sizeof v);
}

bool is_null_like(const ole_variant& v) {
  return v.get_type() == VT_EMPTY || v.get_type() == VT_NULL;
}

}  // namespace

mss_table::mss_table(const std::wstring& name, std::shared_ptr<odb_connection> connection, int mode,
                     udb_relationships* relationships)
    : odb_table(name, std::move(connection), mode, relationships), command_(*connection_) {
  tk_trace(2, L"mss_table::mss_table(%ls)", this->name.c_str());
  init_schema();
  std::wstring table, owner;
  if (!mss_split_tab_name(this->name, table, owner)) table = this->name;
  if ((mode & 0x60) != 0x60) init_indexes(table, owner);
  if (!(mode & 1)) {
    for (std::size_t i = 0; i < schema.field_count(); ++i)
      b_identity_ |= schema.field_at(i).b_auto_increment;
    b_primary_key_ = indexes.find_primary() >= 0;
  }
}

mss_table::mss_table(const std::wstring& name, const std::wstring& query,
                     std::shared_ptr<odb_connection> connection, int mode,
                     udb_relationships* relationships)
    : odb_table(name, query, std::move(connection), mode, relationships), command_(*connection_) {
  tk_trace(2, L"mss_table::mss_table(%ls)", this->name.c_str());
}

mss_table::~mss_table() {
  try {
    flush();
  } catch (const std::exception& e) {
    tk_trace(3, "mss_table::dtor: %s", e.what());
  }
}

void mss_table::init_schema() {
  tk_trace(1, "mss_table::init_schema");
  std::wstring table, owner;
  if (!mss_split_tab_name(name, table, owner)) table = name;
  std::string sql = "EXEC sp_columns @table_name=" + like_literal(table);
  if (!owner.empty()) sql += ", @table_owner=" + like_literal(owner);
  odb_result r = connection_->query(sql);
  const bool b_build = schema.field_count() == 0;
  columns_.clear();
  for (const auto& row : r.rows) {
    if (row.size() < 13) continue;
    if (tk_utf82w(row[2].bytes) != table) continue;
    if (!owner.empty() && tk_utf82w(row[1].bytes) != owner) continue;
    const std::wstring column = tk_utf82w(row[3].bytes);
    std::wstring type_name = lower(tk_utf82w(row[5].bytes));
    tk_trace(1, L"Got field name/type: %ls/%ls", column.c_str(), type_name.c_str());
    const bool b_identity = type_name.find(L"identity") != std::wstring::npos;
    if (auto p = type_name.find(L' '); p != std::wstring::npos) type_name.resize(p);
    const VARTYPE vt = vartype_for(type_name);
    const long precision = std::atol(row[6].bytes.c_str());
    const long length = std::atol(row[7].bytes.c_str());
    const long scale = std::atol(row[8].bytes.c_str());

    mss_column_info info;
    info.type_name = tk_w2utf8(type_name);
    info.b_unicode = !type_name.empty() && type_name[0] == L'n';
    const bool b_long_type = type_name == L"text" || type_name == L"ntext" ||
                             type_name == L"image" || type_name == L"xml";
    std::int32_t size = 0;
    if (vt == VT_BSTR) {
      info.b_long = b_long_type || precision <= 0 || precision >= 1073741823 || precision > 8000;
      size = info.b_long ? 0 : static_cast<std::int32_t>(precision);
    } else if (vt == VT_BLOB) {
      info.b_long = b_long_type || length <= 0 || length >= 1073741823 || length > 8000;
      size = info.b_long ? 0 : static_cast<std::int32_t>(length);
    } else {
      size = static_cast<std::int32_t>(length);
    }
    info.length = size;

    if (b_build)
      schema.add_field(std::make_unique<t_ftd>(size, column, vt, row[10].bytes == "0", false,
                                               ole_variant(), vt == VT_DATE ? 1 : 0));
    if (!schema.find_field(column)) continue;
    t_ftd& f = schema.get_field(column);
    if (!row[12].b_null && !row[12].bytes.empty()) {
      const std::wstring text = tk_utf82w(row[12].bytes);
      tk_trace(1, L"Got default string: %ls", text.c_str());
      ole_variant def = get_def_value(f.vartype, text);
      tk_trace(1, L"Got default variant: %ls", def.to_wstring().c_str());
      if (f.vartype == VT_BSTR && f.size > 0 &&
          static_cast<std::int32_t>(def.to_wstring().size()) > f.size)
        tk_trace(2, L"Def.value '%ls' is out of range", def.to_wstring().c_str());
      else
        f.def_value = def;
    }
    f.b_auto_increment = b_identity;
    if (f.vartype == VT_DECIMAL) {
      // PRECISION holds the digits; LENGTH is the storage width.
      f.extra = static_cast<std::int32_t>(precision * 256 + scale);
      tk_trace(1, ">>> reserved=%d", f.extra);
    }
    columns_.push_back(info);
  }
  if (columns_.size() != schema.field_count()) columns_.resize(schema.field_count());
}

ole_variant mss_table::get_def_value(VARTYPE type, const std::wstring& src) {
  tk_trace(1, L"mss_table::get_def_value(type=0x%08X, src='%ls')", type, src.c_str());
  std::size_t level = 0;
  while (level < src.size() && src[level] == L'(') ++level;
  std::wstring buf = src;
  if (level > 0 && buf.size() >= 2 * level) buf = buf.substr(level, buf.size() - 2 * level);
  tk_trace(1, "Before removing round brackets, pos0=%d, size=%d", static_cast<int>(level),
           static_cast<int>(src.size()));
  tk_trace(1, L"mss_table::get_def_value - buf=[%ls]", buf.c_str());
  bool b_quoted = false;
  if (buf.size() >= 2 && buf.front() == L'N' && buf[1] == L'\'') buf.erase(0, 1);
  if (buf.size() >= 2 && buf.front() == L'\'' && buf.back() == L'\'') {
    buf = buf.substr(1, buf.size() - 2);
    b_quoted = true;
  }
  if (type == VT_DATE) {
    ole_date date(buf);
    if (!date.is_valid()) return ole_variant();
    return date.to_variant();
  }
  if (b_quoted) {
    std::wstring unq;
    for (std::size_t i = 0; i < buf.size(); ++i) {
      unq += buf[i];
      if (buf[i] == L'\'' && i + 1 < buf.size() && buf[i + 1] == L'\'') ++i;
    }
    buf = unq;
  }
  try {
    return ole_variant::from_wstring(buf, type);
  } catch (const std::exception&) {
    return ole_variant();
  }
}

std::string to_mssql_str(const std::wstring& text_in, VARTYPE type) {
  std::wstring text = text_in;
  tk_trace(1, L"to_mssql_str(%ls)", text.c_str());
  if (text.empty()) return "''";
  if (type == VT_DATE) {
    ole_date date(text);
    if (date.is_valid()) {
      date.b_omit_midnight = false;
      text = date.to_wstring();
    }
    if (auto p = text.find(L"0000-00-00"); p != std::wstring::npos) {
      tk_trace(1, "Null date has been found");
      text.replace(p, 10, L"1899-12-30");
    }
    text.erase(std::remove(text.begin(), text.end(), L'-'), text.end());
  } else if (type == VT_BSTR) {
    ole_guid_extractor guid(text);
    if (guid.b_found) {
      tk_trace(1, "BSTR IS AN GUID");
      return "'" + tk_w2utf8(guid.braced_guid()) + "'";
    }
  } else if (type == VT_BLOB || type == VT_BLOB_OBJECT || type == (VT_ARRAY | VT_UI1)) {
    tk_trace(1, "GOT BLOB!!!");
    if (text.size() < 2) return {};
    ole_guid_extractor guid(text);
    if (guid.b_found) {
      tk_trace(1, "BLOB IS AN GUID");
      return "0x" + tk_w2utf8(guid.hex_guid());
    }
    const bool b_hex =
        (text.rfind(L"0x", 0) == 0 || text.rfind(L"0X", 0) == 0) &&
        std::all_of(text.begin() + 2, text.end(), [](wchar_t c) { return std::iswxdigit(c); });
    const bool b_digits =
        std::all_of(text.begin(), text.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; });
    if (!b_hex && !b_digits) {
      std::wstring q = L"'";
      for (wchar_t c : text) {
        q += c;
        if (c == L'\'') q += L'\'';
      }
      return tk_w2utf8(q + L"'");
    }
  }
  std::wstring out;
  for (wchar_t c : text) {
    out += c;
    if (c == L'\'') out += L'\'';
  }
  if (type == VT_BSTR) return tk_w2utf8(L"N'" + out + L"'");
  if (type == VT_DATE) return tk_w2utf8(L"'" + out + L"'");
  return tk_w2utf8(out);
}

ole_variant mssql_get_safe_variant(const ole_variant& value) {
  if (value.get_type() == VT_DATE) {
    SYSTEMTIME st;
    value.get_systemtime(st);
    // A pure time has no date at all; it is written on day 0 later.
    const bool b_time_only = st.wYear == 0 && st.wMonth == 0 && st.wDay == 0;
    if (!b_time_only && (st.wYear < 1753 || st.wYear > 9999)) {
      tk_trace(1, "Skip date-out-of-range");
      return ole_variant::from_string("9999-12-30", VT_DATE);
    }
  } else if (value.get_type() == VT_R8) {
    const double v = value.variant.dblVal;
    if (std::isnan(v)) return ole_variant();
    if (v != 0) {
      const double mag = std::fabs(v);
      if (mag < 2.23e-308) return ole_variant(std::copysign(2.23e-308, v));
      if (mag >= 1.79e308) return ole_variant(std::copysign(1.79e308, v));
    }
  }
  return value;
}

bool mss_table::dec_is_out_of_range(const ole_variant& value, const t_ftd& field) {
  if (value.get_type() != VT_DECIMAL) throw tk_mail_assertion("mss_tab.cpp", __LINE__);
  const std::string text = value.to_string();
  const int scale = value.variant.decVal.scale;
  int digits = static_cast<int>(text.size());
  if (!text.empty() && text[0] == '-') --digits;
  const bool b_point = text.find('.') != std::string::npos;
  if (b_point) --digits;
  const int value_scale = b_point ? static_cast<int>(text.size() - text.find('.') - 1) : 0;
  const int precision = field.extra / 256, field_scale = field.extra % 256;
  tk_trace(3, "Got decimal: %s, scale=%d, prec=%d", text.c_str(), scale, precision);
  if (field.extra == 0) return false;
  // The whole part must fit the digits left of the point as well.
  const int whole = digits - value_scale;
  return value_scale > field_scale || digits > precision || whole > precision - field_scale;
}

std::string mss_table::gen_dec_value(const t_ftd& field, bool negative) {
  const int precision = field.extra / 256, scale = field.extra % 256;
  std::string out = negative ? "-" : "";
  out += std::string(static_cast<std::size_t>(std::max(precision - scale, 0)), '9');
  if (scale > 0) out += "." + std::string(static_cast<std::size_t>(scale), '9');
  return out;
}

std::string mss_table::get_fld_append_str(const ole_variant& value, const t_ftd& field) const {
  tk_trace(1, "mss_table::get_fld_append_str");
  const VARTYPE vt = value.get_type();
  tk_trace(1, L"Got initial string: %ls", value.to_wstring().c_str());
  const ole_variant safe = mssql_get_safe_variant(value);
  std::string literal = to_mssql_str(safe.to_wstring(), vt);
  tk_trace(1, "Got string: %s", literal.c_str());
  if (udb_custom_conversion::is_acceptable2(value))
    return tk_w2utf8(udb_custom_conversion::handle2(value));
  if (vt != VT_NULL && vt != VT_EMPTY && (vt == VT_BSTR || (!literal.empty() && literal != "''"))) {
    if (vt == VT_DECIMAL && dec_is_out_of_range(value, field)) {
      tk_trace(1, "Decimal is out of range");
      return gen_dec_value(field, value.variant.decVal.sign & DECIMAL_NEG);
    }
    return literal;
  }
  tk_trace(1, "Put NULL-field");
  if (field.b_not_null && !is_null_like(field.def_value))
    return to_mssql_str(field.def_value.to_wstring(), field.vartype);
  return "NULL";
}

std::string mss_table::statement_prefix() const {
  std::string s = "SET QUOTED_IDENTIFIER OFF; ";
  if (b_identity_) s += "SET IDENTITY_INSERT " + tk_w2utf8(name) + " ON; ";
  return s;
}

std::string mss_table::insert_sql(const std::vector<ole_variant>& values) const {
  std::string columns, list = " VALUES( ";
  for (std::size_t i = 0; i < schema.field_count(); ++i) {
    const t_ftd& f = schema.field_at(i);
    if (i) {
      columns += ", ";
      list += ", ";
    }
    columns += mss_bracket_utf8(f.name);
    list += get_fld_append_str(i < values.size() ? values[i] : ole_variant(), f);
  }
  return statement_prefix() + "INSERT INTO " + tk_w2utf8(name) + "(" + columns + ")" + list + ")";
}

std::vector<ole_variant> mss_table::values_of(const udb_record& record) const {
  std::vector<ole_variant> values;
  values.reserve(schema.field_count());
  for (std::size_t i = 0; i < schema.field_count(); ++i) {
    const t_ftd& f = schema.field_at(i);
    // Fields are matched by name; a record from a reader keeps the order.
    if (i < record.field_count() && tk_compare_nocase(record.field_at(i).name, f.name) == 0) {
      values.push_back(static_cast<const ole_variant&>(record.field_at(i)));
    } else if (record.find_field(f.name)) {
      values.push_back(static_cast<const ole_variant&>(record.get_field(f.name)));
    } else if (i < record.field_count()) {
      values.push_back(static_cast<const ole_variant&>(record.field_at(i)));
    } else {
      tk_trace(1, L"Field %ls not found", f.name.c_str());
      throw tk_exception(shape_error, tk_level_item);
    }
  }
  return values;
}

void mss_table::append_record(udb_record& record) { append_record(record, record_counter_ + 1); }

void mss_table::append_record(udb_record& record, long record_number) {
  record_counter_ = record_number;
  tk_trace(1, "mss_table::append_record(schema size=%d, record size=%d",
           static_cast<int>(schema.field_count()), static_cast<int>(record.field_count()));
  if (record.field_count() != schema.field_count()) throw tk_exception(shape_error, tk_level_item);
  convert_record(record);
  const mss_engine* engine = mss_engine::instance();
  if (engine && engine->fast_load() && !b_bulk_refused_)
    fast_append(record, record_number);
  else
    slow_record(values_of(record));
}

void mss_table::slow_record(const std::vector<ole_variant>& values) {
  tk_trace(1, "mss_table::slow_record(schema size=%d, record size=%d",
           static_cast<int>(schema.field_count()), static_cast<int>(values.size()));
  if (values.size() != schema.field_count()) throw tk_exception(shape_error, tk_level_item);
  if (schema.field_count() == 0) return;
  const std::string sql = insert_sql(values);
  tk_trace(3, "Run SQL query: %s\n", sql.c_str());
  command_.execute(sql);
  ++rows_by_sql_;
}

std::vector<int> mss_table::host_types() const {
  std::vector<int> types;
  for (std::size_t i = 0; i < schema.field_count(); ++i) {
    switch (schema.field_at(i).vartype) {
      case VT_I2:
      case VT_I1:
        types.push_back(SYBINT2);
        break;
      case VT_I4:
      case VT_UI2:
      case VT_INT:
        types.push_back(SYBINT4);
        break;
      case VT_R4:
      case VT_R8:
      case VT_UI8:
        types.push_back(SYBFLT8);
        break;
      case VT_CY:
        types.push_back(SYBMONEY);
        break;
      case VT_DATE:
        types.push_back(SYBDATETIME);
        break;
      case VT_BOOL:
        types.push_back(SYBBIT);
        break;
      case VT_UI1:
        types.push_back(SYBINT1);
        break;
      case VT_UI4:
      case VT_I8:
      case VT_UINT:
        types.push_back(SYBINT8);
        break;
      case VT_BLOB:
      case VT_BLOB_OBJECT:
        types.push_back(SYBBINARY);
        break;
      default:
        types.push_back(SYBCHAR);
        break;  // text and decimals
    }
  }
  return types;
}

namespace {

[[noreturn]] void truncated(const std::wstring& table, const t_ftd& f, const std::string& shown) {
  throw odb_exception(tk_code_kind_odb | odb_low_overflow,
                      "String or binary data would be truncated in table '" + tk_w2utf8(table) +
                          "', column '" + tk_w2utf8(f.name) + "'. Truncated value: '" + shown +
                          "'.");
}

}  // namespace

mss_bulk_cell mss_table::bulk_cell(const ole_variant& in, std::size_t position) const {
  const t_ftd& f = schema.field_at(position);
  const mss_column_info& col = columns_[position];
  tk_trace(1, "Field %d has type=%d", static_cast<int>(position + 1), f.vartype);
  mss_bulk_cell cell;
  ole_variant value = in;
  if (is_null_like(value)) {
    if (!f.b_not_null) return cell;  // NULL
    if (!is_null_like(f.def_value)) {
      value = f.def_value;
    } else if (f.vartype == VT_BSTR) {
      cell.kind = mss_bulk_cell::empty_text;
      return cell;
    } else {
      try {
        value = ole_variant(0);
        value.change_type(f.vartype);
      } catch (const std::exception&) {
        return cell;
      }
    }
  }
  if (value.get_type() != f.vartype && f.vartype != VT_BSTR && f.vartype != VT_BLOB)
    value.change_type(f.vartype);  // raises the conversion error for this row
  cell.kind = mss_bulk_cell::bytes_value;
  switch (f.vartype) {
    case VT_I2:
    case VT_I1: {
      std::int16_t v = f.vartype == VT_I1 ? value.variant.cVal : value.variant.iVal;
      tk_trace(1, "Got VT_I1/2: %d", v);
      cell.bytes = raw(v);
      return cell;
    }
    case VT_I4:
    case VT_UI2:
    case VT_INT: {
      std::int32_t v = f.vartype == VT_UI2 ? value.variant.uiVal : value.variant.lVal;
      tk_trace(1, "Got VT_UI2/I4: %d", v);
      cell.bytes = raw(v);
      return cell;
    }
    case VT_R4:
    case VT_R8:
    case VT_UI8: {
      const ole_variant safe = mssql_get_safe_variant(ole_variant(value.to_double()));
      if (is_null_like(safe)) return mss_bulk_cell{};
      double v = safe.variant.dblVal;
      tk_trace(1, "Got VT_R4/8: %lg", v);
      cell.bytes = raw(v);
      return cell;
    }
    case VT_CY: {
      DBMONEY m;
      m.mnyhigh = static_cast<DBINT>(value.variant.cyVal.int64 >> 32);
      m.mnylow = static_cast<DBUINT>(value.variant.cyVal.int64 & 0xFFFFFFFF);
      cell.bytes = raw(m);
      return cell;
    }
    case VT_DATE: {
      SYSTEMTIME st;
      value.get_systemtime(st);
      if (st.wYear < 1753) {
        tk_trace(1, "Found 0000-00-00 date");
        st.wYear = 1899;
        st.wMonth = 12;
        st.wDay = 30;
      }
      DBDATETIME dt;
      dt.dtdays = static_cast<DBINT>(days_since_1900(st.wYear, st.wMonth, st.wDay));
      const long long ms =
          ((st.wHour * 60LL + st.wMinute) * 60 + st.wSecond) * 1000 + st.wMilliseconds;
      dt.dttime = static_cast<DBINT>((ms * 3 + 5) / 10);
      cell.bytes = raw(dt);
      return cell;
    }
    case VT_BOOL: {
      std::uint8_t v = value.variant.boolVal ? 1 : 0;
      tk_trace(1, "Got VT_BOOL: %d", v);
      cell.bytes = raw(v);
      return cell;
    }
    case VT_UI1: {
      std::uint8_t v = value.variant.bVal;
      tk_trace(1, "Got VT_UI1: %d", v);
      cell.bytes = raw(v);
      return cell;
    }
    case VT_UI4:
    case VT_I8:
    case VT_UINT: {
      std::int64_t v = f.vartype == VT_I8    ? value.i8_value
                       : f.vartype == VT_UI4 ? static_cast<std::int64_t>(value.variant.ulVal)
                                             : static_cast<std::int64_t>(value.variant.uintVal);
      tk_trace(1, "Got VT_I8");
      cell.bytes = raw(v);
      return cell;
    }
    case VT_DECIMAL: {
      if (dec_is_out_of_range(value, f)) {
        tk_trace(1, "mss_table::fast_append. Conversion error. Decimal type. Column#: %d",
                 static_cast<int>(position + 1));
        throw tk_exception("Cannot cast types. Contact to " TK_SUPPORT_EMAIL " for the solution.",
                           tk_level_item);
      }
      cell.bytes = ole_dec_to_text(value.variant.decVal);
      return cell;
    }
    case VT_BLOB:
    case VT_BLOB_OBJECT: {
      std::string bytes;
      if (ole_is_array_tag(value.get_type())) {
        auto span = value.get_bytes();
        bytes.assign(reinterpret_cast<const char*>(span.data()), span.size());
      } else {
        bytes = tk_w2utf8(value.to_wstring());
      }
      if (!col.b_long && col.length > 0 && static_cast<std::int32_t>(bytes.size()) > col.length)
        truncated(name, f,
                  "0x" + tk_hex_encode(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                       static_cast<std::size_t>(col.length)));
      if (bytes.empty()) {
        cell.kind = mss_bulk_cell::empty_text;
        return cell;
      }
      cell.bytes = std::move(bytes);
      return cell;
    }
    default:
      break;
  }
  // Text: never cut. Trailing blanks beyond the column go, as the server
  // drops them too; anything else fails the row.
  std::wstring text = value.to_wstring();
  if (udb_custom_conversion::is_acceptable2(value)) {
    std::wstring rule = udb_custom_conversion::handle2(value);
    text = rule.size() >= 2 ? rule.substr(1, rule.size() - 2) : std::wstring();
  }
  if (!col.b_long && col.length > 0) {
    const std::int32_t units = mss_utf16_length(text);
    tk_trace(1, "Binding string: expected size=%d, actual size=%d", col.length, units);
    if (units > col.length) {
      std::wstring trimmed = text;
      while (!trimmed.empty() && trimmed.back() == L' ') trimmed.pop_back();
      if (mss_utf16_length(trimmed) > col.length) {
        std::wstring shown;
        std::int32_t n = 0;
        for (wchar_t c : text) {
          const std::int32_t w = c > 0xFFFF ? 2 : 1;
          if (n + w > col.length) break;
          shown += c;
          n += w;
        }
        truncated(name, f, tk_w2utf8(shown));
      }
      text = trimmed;
      // Keep as many trailing blanks as fit.
      std::int32_t room = col.length - mss_utf16_length(text);
      text.append(static_cast<std::size_t>(std::max(room, 0)), L' ');
    }
  }
  if (text.empty()) {
    cell.kind = mss_bulk_cell::empty_text;
    return cell;
  }
  cell.bytes = col.b_unicode || col.type_name.empty() ? tk_w2charset(text, "UTF-16LE")
                                                      : tk_w2charset(text, "CP1252");
  return cell;
}

mss_bulk_row mss_table::bulk_row(std::vector<ole_variant> values, long record_number) const {
  mss_bulk_row row;
  row.record_number = record_number;
  row.cells.reserve(values.size());
  for (std::size_t i = 0; i < values.size(); ++i) row.cells.push_back(bulk_cell(values[i], i));
  row.values = std::move(values);
  return row;
}

void mss_table::fast_append(udb_record& record, long record_number) {
  tk_trace(1, "mss_table::fast_append");
  std::vector<ole_variant> values = values_of(record);
  // Everything is converted and checked before a byte is sent.
  mss_bulk_row row = bulk_row(std::move(values), record_number);
  if (!fast_load_.is_open()) {
    try {
      if (!b_prefix_sent_) {
        command_.execute(statement_prefix());
        b_prefix_sent_ = true;
      }
      fast_load_.open_table(*connection_, tk_w2utf8(name), host_types(), b_identity_);
    } catch (const odb_exception& e) {
      // A server that refuses bulk copy still takes INSERT statements.
      tk_trace(2, "open_rowset->OpenRowset failed: %08X", e.code());
      if (connection_->is_dead()) throw;
      b_bulk_refused_ = true;
      slow_record(row.values);
      return;
    }
  }
  if (!fast_load_.insert_data(std::move(row))) replay_failed_batch();
}

void mss_table::replay_failed_batch() {
  std::vector<mss_bulk_row> rows = fast_load_.take_failed_batch();
  // A batch lost with the session (a dead or silent server) is not a batch
  // the server refused: replaying it would only wait for the server again.
  if (odb_is_connection_failure(fast_load_.last_errors()))
    throw odb_exception(fast_load_.last_errors(), "The connection to the server was lost.",
                        tk_level_run);
  tk_trace(2, "Replaying %d rows of a refused batch one by one", static_cast<int>(rows.size()));
  bool b_healthy = !connection_->is_dead();
  if (b_healthy) {
    try {
      connection_->execute("SELECT 1");
    } catch (const odb_exception&) {
      b_healthy = false;
    }
  }
  if (!b_healthy) {
    const mss_engine* engine = mss_engine::instance();
    TK_ASSERT(engine != nullptr);
    *connection_ = std::move(*engine->test_connection(connection_->database()));
  }
  b_prefix_sent_ = false;
  for (const mss_bulk_row& row : rows) {
    try {
      slow_record(row.values);
    } catch (const tk_exception& e) {
      report(e, row.record_number);
    }
  }
}

void mss_table::report(const tk_exception& error, long record_number) {
  tk_trace(3, "Record %ld of a bulk batch failed: %s", record_number, error.what());
  if (sink_) {
    sink_(error, name, record_number);
  } else if (!first_deferred_) {
    first_deferred_ = std::make_unique<tk_exception>(error);
  }
}

void mss_table::flush() {
  if (!fast_load_.is_open()) return;
  if (!fast_load_.close_table()) replay_failed_batch();
}

void mss_table::close() {
  flush();
  // A session allows IDENTITY_INSERT on one table at a time: leave it off so
  // the next table loaded on this connection can turn it on.
  if (b_identity_ && (b_prefix_sent_ || rows_by_sql_ > 0)) {
    command_.execute("SET IDENTITY_INSERT " + tk_w2utf8(name) + " OFF");
    b_prefix_sent_ = false;
  }
  if (first_deferred_) {
    tk_exception e = *first_deferred_;
    first_deferred_.reset();
    throw e;
  }
}

void mss_table::set_column_size(std::size_t position, std::int32_t new_size) {
  TK_ASSERT(position < schema.field_count() && position < columns_.size());
  TK_ASSERT(!fast_load_.is_open());
  schema.field_at(position).size = new_size;
  columns_[position].length = new_size;
  columns_[position].b_long = new_size == 0;
  columns_[position].b_unicode = true;
  columns_[position].type_name = "nvarchar";
}
