#include "ole_variant.hpp"

#include <cfloat>
#include <cinttypes>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#include "ole_convert.hpp"
#include "ole_date.hpp"
#include "ole_datetime.hpp"
#include "ole_decimal.hpp"
#include "ole_number_text.hpp"
#include "tk_mail_assertion.hpp"
#include "tk_text.hpp"
#include "tk_trace.hpp"

// Internal errors of this file are reported under the name support knows it by.
#define OLE_VAR_ASSERT(cond)                                   \
  do {                                                         \
    if (!(cond)) throw tk_mail_assertion("ole_var", __LINE__); \
  } while (false)
#define OLE_VAR_FAIL() throw tk_mail_assertion("ole_var", __LINE__)

namespace {

// Binary values are printed up to this many bytes.
constexpr std::size_t max_printed_bytes = 0x50000;

constexpr VARTYPE byte_array = VT_ARRAY | VT_UI1;

bool is_byte_type(VARTYPE vt) { return vt == VT_BLOB || vt == VT_BLOB_OBJECT || vt == byte_array; }

template <class T>
bool fits(__int128 value) {
  return value >= std::numeric_limits<T>::min() && value <= std::numeric_limits<T>::max();
}

}  // namespace

// ---- construction, copy, destruction ------------------------------------

ole_variant::ole_variant(bool value) {
  tk_trace(1, "ole_variant::ctor from bool (%d)", value ? 1 : 0);
  variant.vt = VT_BOOL;
  variant.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

ole_variant::ole_variant(char value) {
  tk_trace(1, "ole_variant::ctor from char(%d)", value);
  variant.vt = VT_I1;
  variant.cVal = static_cast<std::int8_t>(value);
}

ole_variant::ole_variant(unsigned char value) {
  tk_trace(1, "ole_variant::ctor from byte(%d)", value);
  variant.vt = VT_UI1;
  variant.bVal = value;
}

ole_variant::ole_variant(short value) {
  tk_trace(1, "ole_variant::ctor from short(%d)", value);
  variant.vt = VT_I2;
  variant.iVal = value;
}

ole_variant::ole_variant(unsigned short value) {
  tk_trace(1, "ole_variant::ctor from ushort(%d)", value);
  variant.vt = VT_UI2;
  variant.uiVal = value;
}

ole_variant::ole_variant(int value) {
  tk_trace(1, "ole_variant::ctor from int(%d)", value);
  variant.vt = VT_I4;
  variant.lVal = value;
}

ole_variant::ole_variant(unsigned int value) {
  tk_trace(1, "ole_variant::ctor from uint(%u)", value);
  variant.vt = VT_UI4;
  variant.ulVal = value;
}

ole_variant::ole_variant(long value) : ole_variant(static_cast<long long>(value)) {}

ole_variant::ole_variant(long long value) {
  tk_trace(1, "ole_variant::ctor(hyper, %lld)", value);
  set_i8(value);
}

ole_variant::ole_variant(unsigned long value)
    : ole_variant(static_cast<unsigned long long>(value)) {}

ole_variant::ole_variant(unsigned long long value) {
  tk_trace(1, "ole_variant::ctor(uhyper, %llu)", value);
  set_ui8(value);
}

ole_variant::ole_variant(float value) {
  tk_trace(1, "ole_variant::ctor from float(%f)", static_cast<double>(value));
  variant.vt = VT_R4;
  variant.fltVal = value;
}

ole_variant::ole_variant(double value) {
  tk_trace(1, "ole_variant::ctor from double(%e)", value);
  variant.vt = VT_R8;
  variant.dblVal = value;
}

ole_variant::ole_variant(const SYSTEMTIME& value) {
  tk_trace(1, "Construct ole_variant from SYSTEMTIME");
  variant.vt = VT_DATE;
  systemtime = value;
  if (!SystemTimeToVariantTime(systemtime, &variant.date)) {
    tk_trace(2, "Failed to convert SYSTEMTIME->VARIANT");
    variant.date = 0;
  }
}

ole_variant::ole_variant(const CY& value) {
  tk_trace(1, "Construct ole_variant from CY");
  variant.vt = VT_CY;
  variant.cyVal = value;
}

ole_variant::ole_variant(const DECIMAL& value) {
  tk_trace(1, "Construct ole_variant from DECIMAL");
  variant.vt = VT_DECIMAL;
  variant.decVal = value;
}

ole_variant::ole_variant(const wchar_t* value) {
  tk_trace(1, "Construct ole_variant from BSTR");
  variant.vt = VT_BSTR;
  if (value) variant.bstrVal = value;
}

ole_variant::ole_variant(const char* value) : ole_variant(std::string(value ? value : "")) {}

ole_variant::ole_variant(const std::string& value) {
  tk_trace(1, "ole_variant::ctor from string(%s)", value.c_str());
  attach_string(value);
}

ole_variant::ole_variant(const std::wstring& value) {
  tk_trace(1, L"ole_variant::ctor from wstring(%ls)", value.c_str());
  attach_wstring(value);
}

ole_variant::ole_variant(std::size_t count, const std::uint8_t* data) {
  attach_binary(count, data);
}

ole_variant::ole_variant(const ole_variant& other) {
  tk_trace(1, "ole_variant::copy ctor");
  copy_from(other);
}

ole_variant::ole_variant(ole_variant&& other) noexcept
    : i8_value(other.i8_value),
      ui8_value(other.ui8_value),
      systemtime(other.systemtime),
      variant(std::move(other.variant)) {
  other.release();
}

ole_variant& ole_variant::operator=(const ole_variant& other) { return assign(other); }

ole_variant& ole_variant::operator=(ole_variant&& other) noexcept {
  if (this != &other) {
    release();
    i8_value = other.i8_value;
    ui8_value = other.ui8_value;
    systemtime = other.systemtime;
    variant = std::move(other.variant);
    other.release();
  }
  return *this;
}

ole_variant::~ole_variant() { release(); }

ole_variant& ole_variant::assign(const ole_variant& other) {
  if (this == &other) return *this;
  release();
  copy_from(other);
  if (variant.vt == VT_DATE) {
    tk_trace(1, "%04d-%02d-%02d %02d:%02d:%02d", systemtime.wYear, systemtime.wMonth,
             systemtime.wDay, systemtime.wHour, systemtime.wMinute, systemtime.wSecond);
  }
  return *this;
}

ole_variant& ole_variant::assign(const wchar_t* text) {
  release();
  variant.vt = VT_BSTR;
  if (text) variant.bstrVal = text;
  return *this;
}

void ole_variant::release() {
  // Not VariantClear: the text and array buffers stay for the next value.
  variant.vt = VT_EMPTY;
  variant.decVal = DECIMAL{};
  variant.bstrVal.clear();
  variant.parray.data.clear();
  variant.parray.lower_bound = 0;
  i8_value = 0;
  ui8_value = 0;
  systemtime = SYSTEMTIME();
}

void ole_variant::copy_from(const ole_variant& other) {
  variant = other.variant;
  switch (other.variant.vt) {
    case VT_DATE:
      tk_trace(1, "Special processing for VT_DATE");
      systemtime = other.systemtime;
      break;
    case VT_I8:
    case VT_UI8:
      tk_trace(1, "Special processing for VT_(U)I8 type");
      i8_value = other.i8_value;
      ui8_value = other.ui8_value;
      break;
    case VT_CARRAY:
    case byte_array:
      tk_trace(1, "Special processing for VT_SAFEARRAY");
      variant.vt = byte_array;
      break;
    default:
      break;
  }
}

void ole_variant::set_i8(std::int64_t value) {
  release();
  variant.vt = VT_I8;
  i8_value = value;
}

void ole_variant::set_ui8(std::uint64_t value) {
  release();
  variant.vt = VT_UI8;
  ui8_value = value;
}

void ole_variant::set_bytes(const void* data, std::size_t count) {
  allocate_safe_array(count);
  if (count != 0) std::memcpy(variant.parray.data.data(), data, count);
}

// ---- text and numbers out ----------------------------------------------

std::string ole_variant::to_string() const {
  tk_trace(1, "ole_variant::to_string (vt=%08X)", static_cast<unsigned>(variant.vt));
  char buffer[32];
  switch (variant.vt) {
    case VT_I2:
      return std::to_string(variant.iVal);
    case VT_I1:
      return std::to_string(variant.cVal);
    case VT_I4:
      return std::to_string(variant.lVal);
    case VT_INT:
      return std::to_string(variant.intVal);
    case VT_R4:
      return ole_format_scientific(variant.fltVal, 6);
    case VT_R8:
      return ole_format_scientific(variant.dblVal, 15);
    case VT_UI1:
      return std::to_string(variant.bVal);
    case VT_UI2:
      return std::to_string(variant.uiVal);
    case VT_UI4:
      return std::to_string(variant.ulVal);
    case VT_UINT:
      return std::to_string(variant.uintVal);
    case VT_I8:
      std::snprintf(buffer, sizeof buffer, "%" PRId64, i8_value);
      return buffer;
    case VT_UI8:
      std::snprintf(buffer, sizeof buffer, "%" PRIu64, ui8_value);
      return buffer;
    case VT_CY:
    case VT_DECIMAL: {
      VARIANT text;
      if (FAILED(VariantChangeType(&text, &variant, 0, VT_BSTR))) return std::string();
      std::string narrow = tk_w2a(text.bstrVal);
      for (char& c : narrow) {
        if (c == ',') c = '.';
      }
      return narrow;
    }
    case VT_DATE:
      return ole_date(systemtime).to_string();
    case VT_BSTR:
      return tk_w2a(variant.bstrVal);
    case VT_BOOL:
      tk_trace(1, "Mapping BOOL like ANSI!");
      return variant.boolVal == VARIANT_TRUE ? "1" : "0";
    case byte_array: {
      const std::vector<std::uint8_t>& data = variant.parray.data;
      if (data.empty()) return std::string();
      return "0x" + tk_hex_encode(data.data(), std::min(data.size(), max_printed_bytes));
    }
    default:
      return std::string();
  }
}

std::wstring ole_variant::to_wstring() const {
  if (variant.vt == VT_BSTR) return variant.bstrVal;
  return tk_a2w(to_string());
}

double ole_variant::to_double() const {
  tk_trace(1, "ole_variant::to_double(%08X)", static_cast<unsigned>(variant.vt));
  switch (variant.vt) {
    case VT_EMPTY:
    case VT_NULL:
      return 0;
    case VT_I2:
      return variant.iVal;
    case VT_BOOL:
      return variant.boolVal;
    case VT_I1:
      return variant.cVal;
    case VT_UI1:
      return variant.bVal;
    case VT_UI2:
      return variant.uiVal;
    case VT_I4:
      return variant.lVal;
    case VT_INT:
      return variant.intVal;
    case VT_UI4:
      return variant.ulVal;
    case VT_UINT:
      return variant.uintVal;
    case VT_R4:
      return variant.fltVal;
    case VT_R8:
      return variant.dblVal;
    case VT_I8:
      return static_cast<double>(i8_value);
    case VT_UI8:
      return static_cast<double>(ui8_value);
    case VT_CY: {
      double result = 0;
      const HRESULT hr = VarR8FromCy(variant.cyVal, &result);
      tk_trace(1, "from CURRECY: res=%lg, hr=%08X", result, static_cast<unsigned>(hr));
      return result;
    }
    case VT_DECIMAL: {
      double result = 0;
      const HRESULT hr = VarR8FromDec(variant.decVal, &result);
      tk_trace(1, "from DECIMAL: res=%lg, hr=%08X", result, static_cast<unsigned>(hr));
      return result;
    }
    default:
      OLE_VAR_FAIL();
  }
}

namespace {

// A real truncated toward zero into 32 bits; out-of-range values saturate
// (a plain cast would be undefined) and NaN is 0.
std::int32_t truncate_to_long(double value) {
  if (std::isnan(value)) return 0;
  if (value <= static_cast<double>(std::numeric_limits<std::int32_t>::min())) {
    return std::numeric_limits<std::int32_t>::min();
  }
  if (value >= static_cast<double>(std::numeric_limits<std::int32_t>::max())) {
    return std::numeric_limits<std::int32_t>::max();
  }
  return static_cast<std::int32_t>(value);
}

}  // namespace

std::int32_t ole_variant::to_long() const {
  tk_trace(1, "ole_variant::to_long(vt=%08X)", static_cast<unsigned>(variant.vt));
  switch (variant.vt) {
    case VT_EMPTY:
    case VT_NULL:
      return 0;
    case VT_I2:
      return variant.iVal;
    case VT_BOOL:
      return variant.boolVal;
    case VT_I1:
      return variant.cVal;
    case VT_UI1:
      return variant.bVal;
    case VT_UI2:
      return variant.uiVal;
    case VT_I4:
      return variant.lVal;
    case VT_INT:
      return variant.intVal;
    case VT_UI4:
      return static_cast<std::int32_t>(variant.ulVal);
    case VT_UINT:
      return static_cast<std::int32_t>(variant.uintVal);
    case VT_R4:
      return truncate_to_long(variant.fltVal);
    case VT_R8:
      return truncate_to_long(variant.dblVal);
    case VT_DECIMAL: {
      std::int32_t result = 0;
      const HRESULT hr = VarI4FromDec(variant.decVal, &result);
      tk_trace(1, "from DECIMAL, hr=%08X", static_cast<unsigned>(hr));
      if (hr == DISP_E_OVERFLOW) {
        result = (variant.decVal.sign & DECIMAL_NEG) ? std::numeric_limits<std::int32_t>::min()
                                                     : std::numeric_limits<std::int32_t>::max();
      }
      return result;
    }
    case VT_I8:
      return static_cast<std::int32_t>(static_cast<std::uint32_t>(i8_value));
    case VT_UI8:
      return static_cast<std::int32_t>(static_cast<std::uint32_t>(ui8_value));
    default:
      OLE_VAR_FAIL();
  }
}

bool ole_variant::to_bool() const {
  tk_trace(1, "ole_variant::to_bool(vt=%08X)", static_cast<unsigned>(variant.vt));
  switch (variant.vt) {
    case VT_EMPTY:
    case VT_NULL:
      return false;
    case VT_BOOL:
      return variant.boolVal == VARIANT_TRUE;
    // Any non-zero decimal is true, 0.4 as well (its whole part is not).
    case VT_DECIMAL:
      return variant.decVal.Hi32 != 0 || variant.decVal.Lo64 != 0;
    case VT_CY:
      return variant.cyVal.int64 != 0;
    case VT_I2:
    case VT_I1:
    case VT_UI1:
    case VT_UI2:
    case VT_I4:
    case VT_INT:
    case VT_UI4:
    case VT_UINT:
    case VT_R4:
    case VT_R8:
    case VT_I8:
    case VT_UI8:
      return to_double() != 0;  // NaN too
    default:
      OLE_VAR_FAIL();
  }
}

std::span<const std::uint8_t> ole_variant::get_bytes() const {
  tk_trace(1, "ole_variant::get_bytes(%d)", variant.vt);
  if (variant.vt == VT_EMPTY || variant.vt == VT_NULL) return {};
  OLE_VAR_ASSERT(variant.vt == byte_array);
  return variant.parray.data;
}

std::span<std::uint8_t> ole_variant::get_bytes() {
  tk_trace(1, "ole_variant::get_bytes(%d)", variant.vt);
  if (variant.vt == VT_EMPTY || variant.vt == VT_NULL) return {};
  OLE_VAR_ASSERT(variant.vt == byte_array);
  return variant.parray.data;
}

bool ole_variant::get_systemtime(SYSTEMTIME& out) const {
  if (variant.vt != VT_DATE) {
    out = SYSTEMTIME();
    return false;
  }
  out = systemtime;
  return true;
}

// ---- payloads in --------------------------------------------------------

void ole_variant::allocate_safe_array(std::size_t size) {
  tk_trace(1, "ole_variant::allocate_safe_array (size=%d)", static_cast<int>(size));
  try {
    if (variant.vt == byte_array) {
      tk_trace(1, "Redimension array");
      variant.parray.data.resize(size);
      return;
    }
    release();
    variant.vt = byte_array;
    variant.parray.data.assign(size, 0);
  } catch (const std::bad_alloc&) {
    OLE_VAR_FAIL();
  } catch (const std::length_error&) {
    OLE_VAR_FAIL();
  }
}

void ole_variant::attach_binary(const std::vector<std::uint8_t>& bytes) {
  tk_trace(1, "ole_variant::attach_binary(1)");
  set_bytes(bytes.data(), bytes.size());
}

void ole_variant::attach_binary(std::size_t count, const std::uint8_t* data) {
  tk_trace(1, "ole_variant::attach_binary(2)");
  OLE_VAR_ASSERT(data != nullptr || count == 0);
  set_bytes(data, count);
}

void ole_variant::attach_string(const std::string& text) {
  tk_trace(1, "ole_variant::attach_string: text from the ANSI code page");
  std::wstring wide = tk_a2w(text);
  release();
  variant.vt = VT_BSTR;
  variant.bstrVal = std::move(wide);
}

void ole_variant::attach_wstring(const std::wstring& text) {
  tk_trace(1, "ole_variant::attach_wstring: text copied");
  set_text(text);
}

void ole_variant::set_text(std::wstring_view text) {
  // The text first: it may be a view of this value's own text.
  variant.bstrVal.assign(text.data(), text.size());
  variant.vt = VT_BSTR;
  variant.decVal = DECIMAL{};
  variant.parray.data.clear();
  variant.parray.lower_bound = 0;
  i8_value = 0;
  ui8_value = 0;
  systemtime = SYSTEMTIME();
}

void ole_variant::set_null() {
  release();
  variant.vt = VT_NULL;
}

// ---- from text ----------------------------------------------------------

namespace {

std::string commas_to_points(std::string text) {
  for (char& c : text) {
    if (c == ',') c = '.';
  }
  return text;
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The integer at the start of the text as atoi reads it (no digits: 0); a
// value the type cannot hold raises rather than wrapping into another number.
template <class T>
T read_small_integer(const std::string& text) {
  bool overflow = false;
  const std::optional<std::int64_t> value = ole_read_int64(text, &overflow);
  if (overflow || (value && !fits<T>(*value))) {
    tk_trace(2, "Value out of range: '%s'", text.c_str());
    throw ole_cast_exception();
  }
  return static_cast<T>(value.value_or(0));
}

}  // namespace

ole_variant ole_variant::from_string(const std::string& text, VARTYPE type) {
  tk_trace(1, "ole_variant::from_string('%s', 0x%08X)", text.c_str(), static_cast<unsigned>(type));
  ole_variant result;
  if (text.empty()) {
    if (type == VT_BSTR) result.variant.vt = VT_BSTR;
    return result;
  }
  switch (type) {
    case VT_I2:
      result = ole_variant(read_small_integer<std::int16_t>(text));
      break;
    case VT_I4:
      result = ole_variant(read_small_integer<std::int32_t>(text));
      break;
    case VT_I1:
      result = ole_variant(static_cast<char>(read_small_integer<std::int8_t>(text)));
      break;
    case VT_UI1:
      result = ole_variant(read_small_integer<std::uint8_t>(text));
      break;
    case VT_UI2:
      result = ole_variant(read_small_integer<std::uint16_t>(text));
      break;
    case VT_I8:
      result = ole_variant(static_cast<long long>(read_small_integer<std::int64_t>(text)));
      break;
    case VT_UI4:
    case VT_UI8: {
      bool overflow = false;
      const std::optional<std::uint64_t> value = ole_read_uint64(text, &overflow);
      if (!value) {
        tk_trace(2, "Not a number: '%s'", text.c_str());
        break;
      }
      if (overflow || (type == VT_UI4 && *value > std::numeric_limits<std::uint32_t>::max())) {
        tk_trace(2, "Value out of range: '%s'", text.c_str());
        throw ole_cast_exception();
      }
      if (type == VT_UI4) {
        result = ole_variant(static_cast<unsigned int>(*value));
      } else {
        result = ole_variant(static_cast<unsigned long long>(*value));
      }
      break;
    }
    case VT_R4:
    case VT_R8: {
      const double value = ole_atof(commas_to_points(text));
      if (type == VT_R8) {
        result = ole_variant(value);
      } else {
        if (std::isfinite(value) && std::fabs(value) > FLT_MAX) throw ole_cast_exception();
        result = ole_variant(static_cast<float>(value));
      }
      break;
    }
    case VT_CY: {
      tk_trace(1, "GOT VT_CY");
      CY value{};
      const HRESULT hr = VarCyFromStr(tk_a2w(commas_to_points(text)), &value);
      if (FAILED(hr)) {
        tk_trace(3, "VarCyFromStr failed: %08X", static_cast<unsigned>(hr));
        break;
      }
      result = ole_variant(value);
      break;
    }
    case VT_DECIMAL: {
      tk_trace(1, "GOT VT_DECIMAL");
      DECIMAL value{};
      const HRESULT hr = VarDecFromStr(tk_a2w(commas_to_points(text)), &value);
      if (FAILED(hr)) {
        tk_trace(3, "VarDecFromStr failed: %08X", static_cast<unsigned>(hr));
        break;
      }
      result = ole_variant(value);
      break;
    }
    case VT_DATE: {
      tk_trace(1, "GOT VT_DATE");
      const ole_date date(text);
      if (date.is_valid()) result = ole_variant(date.systemtime);
      break;
    }
    case VT_BOOL: {
      const std::wstring wide = tk_a2w(text);
      if (tk_compare_nocase(wide, L"yes") == 0 || tk_compare_nocase(wide, L"true") == 0) {
        result = ole_variant(true);
      } else if (tk_compare_nocase(wide, L"no") == 0 || tk_compare_nocase(wide, L"false") == 0) {
        result = ole_variant(false);
      } else {
        // atoi's reading; digits too many for 64 bits are not zero either.
        bool overflow = false;
        const std::int64_t value = ole_read_int64(text, &overflow).value_or(0);
        result = ole_variant(overflow || value != 0);
      }
      break;
    }
    case VT_BLOB:
    case byte_array: {
      if (text.size() % 2 != 0) {
        tk_trace(2, "Incorrect BLOB (size is odd)");
        break;
      }
      std::size_t start = 0;
      if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) start = 2;
      std::vector<std::uint8_t> bytes;
      bytes.reserve((text.size() - start) / 2);
      for (std::size_t i = start; i < text.size(); i += 2) {
        const int high = hex_digit(text[i]);
        const int low = hex_digit(text[i + 1]);
        if (high < 0 || low < 0) {
          tk_trace(2, "Incorrect BLOB (not hexadecimal)");
          return result;
        }
        bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
      }
      tk_trace(1, "Got BLOB size: %d", static_cast<int>(text.size()));
      result.attach_binary(bytes);
      break;
    }
    default: {
      result.attach_string(text);
      if (FAILED(VariantChangeType(&result.variant, &result.variant, 0, type))) {
        throw ole_type_exception();
      }
      tk_trace(1, "VariantChangeType succeeded");
      break;
    }
  }
  return result;
}

ole_variant ole_variant::from_wstring(const std::wstring& text, VARTYPE type) {
  tk_trace(1, "ole_variant::from_wstring");
  if (type == VT_BSTR) return ole_variant(text);
  return from_string(tk_w2a(text), type);
}

// ---- change_type ---------------------------------------------------------

namespace {

// Currency to a whole number: rounded half to even, like OLE's own
// conversions from currency to integers.
__int128 currency_to_integer(std::int64_t cy) {
  __int128 whole = cy / CY_SCALE;
  const std::int64_t rest = cy % CY_SCALE;  // same sign as cy
  const std::int64_t twice = rest < 0 ? -2 * rest : 2 * rest;
  if (twice > CY_SCALE || (twice == CY_SCALE && whole % 2 != 0)) whole += rest < 0 ? -1 : 1;
  return whole;
}

}  // namespace

void ole_variant::change_type(VARTYPE new_type) {
  const VARTYPE old_type = variant.vt;
  tk_trace(1, "ole_variant::change_type(old=%d,new=%d)", old_type, new_type);
  if (new_type == old_type || old_type == VT_EMPTY || old_type == VT_NULL) return;

  // 1. Bytes stay bytes.
  if (is_byte_type(new_type) && is_byte_type(old_type)) return;

  // 2, 3. From 64-bit integers. A value the target cannot hold raises rather
  // than wrapping into a different number.
  if (old_type == VT_I8 || old_type == VT_UI8) {
    const __int128 value =
        old_type == VT_I8 ? static_cast<__int128>(i8_value) : static_cast<__int128>(ui8_value);
    auto store = [&](VARTYPE vt, auto narrow) {
      using T = decltype(narrow);
      if (!fits<T>(value)) throw ole_cast_exception();
      release();
      variant.vt = vt;
      const T v = static_cast<T>(value);
      std::memcpy(&variant.decVal, &v, sizeof v);  // the payload starts the union
    };
    switch (new_type) {
      case VT_I2:
        store(VT_I2, std::int16_t{});
        return;
      case VT_I4:
        store(VT_I4, std::int32_t{});
        return;
      case VT_I1:
        store(VT_I1, std::int8_t{});
        return;
      case VT_UI1:
        store(VT_UI1, std::uint8_t{});
        return;
      case VT_UI2:
        store(VT_UI2, std::uint16_t{});
        return;
      case VT_INT:
        store(VT_INT, std::int32_t{});
        return;
      case VT_UI4:
        store(VT_UI4, std::uint32_t{});
        return;
      case VT_UINT:
        store(VT_UINT, std::uint32_t{});
        return;
      case VT_BOOL: {
        const bool nonzero = value != 0;
        release();
        variant.vt = VT_BOOL;
        variant.boolVal = nonzero ? VARIANT_TRUE : VARIANT_FALSE;
        return;
      }
      case VT_R4:
      case VT_R8: {
        const double real =
            old_type == VT_I8 ? static_cast<double>(i8_value) : static_cast<double>(ui8_value);
        release();
        variant.vt = new_type;
        if (new_type == VT_R4) {
          variant.fltVal = static_cast<float>(real);
        } else {
          variant.dblVal = real;
        }
        return;
      }
      case VT_I8:
        if (!fits<std::int64_t>(value)) throw ole_cast_exception();
        set_i8(static_cast<std::int64_t>(value));
        return;
      case VT_UI8:
        if (!fits<std::uint64_t>(value)) throw ole_cast_exception();
        set_ui8(static_cast<std::uint64_t>(value));
        return;
      case VT_BSTR: {
        char buffer[32];
        if (old_type == VT_I8) {
          std::snprintf(buffer, sizeof buffer, "%" PRId64, i8_value);
        } else {
          std::snprintf(buffer, sizeof buffer, "%" PRIu64, ui8_value);
        }
        attach_string(buffer);
        return;
      }
      case VT_CY:
      case VT_DECIMAL: {
        // 7. With the currency scale of 10,000; decimals go through currency.
        if (value > std::numeric_limits<std::int64_t>::max() / CY_SCALE ||
            value < std::numeric_limits<std::int64_t>::min() / CY_SCALE) {
          throw ole_cast_exception();
        }
        CY cy{};
        cy.int64 = static_cast<std::int64_t>(value) * CY_SCALE;
        release();
        if (new_type == VT_CY) {
          variant.vt = VT_CY;
          variant.cyVal = cy;
          return;
        }
        DECIMAL decimal{};
        if (FAILED(VarDecFromCy(cy, &decimal))) throw ole_cast_exception();
        variant.vt = VT_DECIMAL;
        variant.decVal = decimal;
        return;
      }
      default:
        throw ole_cast_exception();
    }
  }

  // 4. Dates become text only.
  if (old_type == VT_DATE) {
    if (new_type != VT_BSTR) throw ole_cast_exception();
    attach_wstring(ole_date(systemtime).to_wstring());
    return;
  }

  // 5. To 64-bit integers.
  if (new_type == VT_I8 || new_type == VT_UI8) {
    __int128 value = 0;
    switch (old_type) {
      case VT_I2:
        value = variant.iVal;
        break;
      case VT_BOOL:
        value = variant.boolVal;
        break;
      case VT_I4:
        value = variant.lVal;
        break;
      case VT_INT:
        value = variant.intVal;
        break;
      case VT_I1:
        value = variant.cVal;
        break;
      case VT_UI1:
        value = variant.bVal;
        break;
      case VT_UI2:
        value = variant.uiVal;
        break;
      case VT_UI4:
        value = variant.ulVal;
        break;
      case VT_UINT:
        value = variant.uintVal;
        break;
      case VT_R4:
      case VT_R8: {
        const double real = old_type == VT_R4 ? variant.fltVal : variant.dblVal;
        if (!(std::fabs(real) < 1e30)) throw ole_cast_exception();  // NaN and infinities too
        value = static_cast<__int128>(std::trunc(real));
        break;
      }
      case VT_CY:
        value = currency_to_integer(variant.cyVal.int64);
        break;
      case VT_DECIMAL: {
        CY cy{};
        if (FAILED(VarCyFromDec(variant.decVal, &cy))) throw ole_cast_exception();
        value = currency_to_integer(cy.int64);
        break;
      }
      default:
        throw ole_cast_exception();
    }
    if (new_type == VT_I8) {
      if (!fits<std::int64_t>(value)) throw ole_cast_exception();
      set_i8(static_cast<std::int64_t>(value));
    } else {
      if (!fits<std::uint64_t>(value)) throw ole_cast_exception();
      set_ui8(static_cast<std::uint64_t>(value));
    }
    return;
  }

  // 6. Only the canonical 19-character text becomes a date.
  if (new_type == VT_DATE) {
    if (old_type != VT_BSTR || variant.bstrVal.size() != 19) throw ole_cast_exception();
    *this = from_wstring(variant.bstrVal, VT_DATE);
    return;
  }

  // 8. The raw bytes of the value become a byte array.
  if (is_byte_type(new_type)) {
    if (old_type == VT_BSTR || old_type == VT_LPSTR || old_type == VT_LPWSTR) {
      // Text keeps all of its characters: its UTF-16LE form, as SQL Server
      // itself turns nvarchar into varbinary.
      const std::string bytes = tk_w2charset(variant.bstrVal, "UTF-16LE");
      set_bytes(bytes.data(), bytes.size());
      return;
    }
    std::size_t size = 0;
    switch (old_type) {
      case VT_I2:
      case VT_BOOL:
      case VT_UI2:
        size = 2;
        break;
      case VT_I4:
      case VT_R4:
      case VT_UI4:
      case VT_INT:
      case VT_UINT:
        size = 4;
        break;
      case VT_R8:
      case VT_CY:
        size = 8;
        break;
      case VT_I1:
      case VT_UI1:
        size = 1;
        break;
      case VT_DECIMAL:
        size = sizeof(DECIMAL);
        break;
      default:
        throw ole_cast_exception();
    }
    std::uint8_t raw[sizeof(DECIMAL)];
    std::memcpy(raw, &variant.decVal, size);  // every payload starts the union
    set_bytes(raw, size);
    return;
  }

  // 9. Everything else: the platform conversion.
  if (FAILED(VariantChangeType(&variant, &variant, 0, new_type))) throw ole_cast_exception();
}
