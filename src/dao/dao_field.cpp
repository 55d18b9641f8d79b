#include "dao_field.hpp"

#include <utility>

#include "ole_exceptions.hpp"
#include "tk_trace.hpp"

dao_field::dao_field(const std::wstring& name, std::int32_t size, ole_variant value, int dao_type)
    : udb_field(name, size, std::move(value), false, false), dao_type_(dao_type) {
  tk_trace(1, "dao_field::ctor");
  tk_trace(1, L"Field name='%ls', size=%d", name.c_str(), size);
  if (variant.vt == VT_NULL) tk_trace(1, "*** NULL *** ");
  if (variant.vt == VT_DATE) tk_trace(1, "Special processing for VT_DATE");
  // Printing every value costs more than reading it: only when it is logged.
  if (tk_trace_log* log = tk_trace_log::instance(); log != nullptr && log->enabled())
    tk_trace(1, "Got DAO field: %s", to_string().c_str());
}

std::string dao_field::rewrite_zero_date(std::string text) {
  static const std::string zero_day = "1899-12-30";
  std::size_t at = text.find(zero_day);
  if (at == std::string::npos) return text;
  tk_trace(1, "Fake date has been found");
  if (text.size() > zero_day.size()) {
    text.replace(at, zero_day.size(), "0000-00-00");
  } else {
    tk_trace(1, "Transform pure fake date to pure time");
    text.replace(at, zero_day.size(), "00:00:00");
  }
  return text;
}

std::string dao_field::to_string() const {
  tk_trace(1, "dao_field::to_string(vt=%08X)", static_cast<unsigned>(variant.vt));
  std::string text = udb_field::to_string();
  return variant.vt == VT_DATE ? rewrite_zero_date(std::move(text)) : text;
}

std::wstring dao_field::to_wstring() const {
  tk_trace(1, "dao_field::to_wstring(vt=%08X)", static_cast<unsigned>(variant.vt));
  if (variant.vt != VT_DATE) return udb_field::to_wstring();
  std::string text = rewrite_zero_date(udb_field::to_string());
  return std::wstring(text.begin(), text.end());  // digits, "-", ":" and " " only
}

VARTYPE dao_field::get_type() const {
  if (variant.vt != VT_EMPTY) {
    tk_trace(1, "Use ole_variant::get_type");
    tk_trace(1, "vt1=%08X", static_cast<unsigned>(variant.vt));
    return variant.vt;
  }
  tk_trace(1, "Use DAO methods to extract field type");
  VARTYPE vt = get_vartype(dao_type_);
  tk_trace(1, "vt2=%08X", static_cast<unsigned>(vt));
  return vt;
}

VARTYPE dao_field::get_vartype(int dao_type) {
  tk_trace(1, "dao_field::get_vartype(%d)", dao_type);
  switch (dao_type) {
    case 1:
      return VT_BOOL;
    case 2:
      return VT_UI1;
    case 3:
      return VT_I2;
    case 4:
      return VT_I4;
    case 5:
      return VT_CY;
    case 6:
      return VT_R4;
    case 7:
    case 19:
    case 20:
    case 21:
      return VT_R8;
    case 8:
    case 22:
      return VT_DATE;
    case 10:
    case 12:
      return VT_BSTR;
    default:
      return VT_BLOB;
  }
}

int dao_field::get_native_type(VARTYPE vartype, std::int32_t size) {
  tk_trace(1, "dao_field::get_native_type(%d)", static_cast<int>(vartype));
  switch (vartype) {
    case VT_I2:
    case VT_I1:
      return db_integer;
    case VT_I4:
    case VT_UI2:
      return db_long;
    case VT_R4:
      return db_single;
    case VT_R8:
    case VT_DECIMAL:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
      return db_double;
    case VT_CY:
      return db_currency;
    case VT_DATE:
      return db_date;
    case VT_BSTR:
      return size >= 1 && size <= 255 ? db_text : db_memo;
    case VT_BOOL:
      return db_boolean;
    case VT_UI1:
      return db_byte;
    case VT_BLOB:
    case VT_BLOB_OBJECT:
    case VT_ARRAY | VT_UI1:
      return size >= 1 && size <= 255 ? db_binary : db_long_binary;
    default:
      throw ole_type_exception();
  }
}
