#include "mss_table_columns.hpp"

#include <cstdlib>
#include <cwctype>

#include "odb_connection.hpp"
#include "ole_date.hpp"
#include "tk_text.hpp"
#include "tk_trace.hpp"

namespace {

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
}  // namespace

std::vector<mss_table_column> mss_table_columns::read(odb_connection& connection,
                                                      const std::wstring& table,
                                                      const std::wstring& owner) {
  std::string sql = "EXEC sp_columns @table_name=" + like_literal(table);
  if (!owner.empty()) sql += ", @table_owner=" + like_literal(owner);
  odb_result r = connection.query(sql);
  std::vector<mss_table_column> columns;
  for (const auto& row : r.rows) {
    if (row.size() < 13) continue;
    if (tk_utf82w(row[2].bytes) != table) continue;
    if (!owner.empty() && tk_utf82w(row[1].bytes) != owner) continue;
    mss_table_column c;
    c.info.name = tk_utf82w(row[3].bytes);
    std::wstring type_name = lower(tk_utf82w(row[5].bytes));
    tk_trace(1, L"Got field name/type: %ls/%ls", c.info.name.c_str(), type_name.c_str());
    c.b_identity = type_name.find(L"identity") != std::wstring::npos;
    if (auto p = type_name.find(L' '); p != std::wstring::npos) type_name.resize(p);
    c.vartype = vartype_for(type_name);
    const long precision = std::atol(row[6].bytes.c_str());
    const long length = std::atol(row[7].bytes.c_str());
    c.info.type_name = tk_w2utf8(type_name);
    c.info.b_unicode = !type_name.empty() && type_name[0] == L'n';
    const bool b_long_type = type_name == L"text" || type_name == L"ntext" ||
                             type_name == L"image" || type_name == L"xml";
    // Text columns give their length in PRECISION (characters), binary ones
    // in LENGTH (bytes); -1 or 2^30 and more stand for (max).
    if (c.vartype == VT_BSTR || c.vartype == VT_BLOB) {
      const long units = c.vartype == VT_BSTR ? precision : length;
      c.info.b_long = b_long_type || units <= 0 || units >= 1073741823 || units > 8000;
      c.size = c.info.b_long ? 0 : static_cast<std::int32_t>(units);
    } else {
      c.size = static_cast<std::int32_t>(length);
    }
    c.info.length = c.size;
    c.info.precision = static_cast<int>(precision);
    c.info.scale = std::atoi(row[8].bytes.c_str());
    c.info.b_not_null = row[10].bytes == "0";
    if (!row[12].b_null) c.default_text = tk_utf82w(row[12].bytes);
    columns.push_back(std::move(c));
  }
  return columns;
}

ole_variant mss_table_columns::default_value(VARTYPE type, const std::wstring& src) {
  tk_trace(1, L"mss_table_columns::default_value(type=0x%08X, src='%ls')", type, src.c_str());
  std::size_t level = 0;
  while (level < src.size() && src[level] == L'(') ++level;
  std::wstring buf = src;
  if (level > 0 && buf.size() >= 2 * level) buf = buf.substr(level, buf.size() - 2 * level);
  tk_trace(1, "Before removing round brackets, pos0=%d, size=%d", static_cast<int>(level),
           static_cast<int>(src.size()));
  tk_trace(1, L"mss_table_columns::default_value - buf=[%ls]", buf.c_str());
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
