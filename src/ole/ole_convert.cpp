#include "ole_convert.hpp"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "ole_date_parser.hpp"
#include "ole_datetime.hpp"
#include "ole_decimal.hpp"
#include "ole_number_text.hpp"
#include "tk_text.hpp"

namespace {

// A source value on its way to a numeric target.
struct number {
  enum kind_t { integer, real, exact } kind = integer;
  __int128 i = 0;
  double r = 0;
  DECIMAL d{};
};

bool is_integer_type(VARTYPE vt) {
  switch (vt) {
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_I8:
    case VT_UI8:
      return true;
    default:
      return false;
  }
}

bool is_supported(VARTYPE vt) {
  return is_integer_type(vt) || vt == VT_EMPTY || vt == VT_R4 || vt == VT_R8 || vt == VT_CY ||
         vt == VT_DECIMAL || vt == VT_DATE || vt == VT_BOOL || vt == VT_BSTR;
}

bool equals_nocase(const std::string& text, const char* word) {
  std::size_t i = 0;
  for (; word[i] != '\0'; ++i) {
    if (i >= text.size() || std::tolower(static_cast<unsigned char>(text[i])) != word[i])
      return false;
  }
  return i == text.size();
}

HRESULT read_number(const VARIANT& v, VARTYPE target, number* n) {
  switch (v.vt) {
    case VT_EMPTY:
      n->i = 0;
      return S_OK;
    case VT_I1:
      n->i = v.cVal;
      return S_OK;
    case VT_UI1:
      n->i = v.bVal;
      return S_OK;
    case VT_I2:
      n->i = v.iVal;
      return S_OK;
    case VT_UI2:
      n->i = v.uiVal;
      return S_OK;
    case VT_I4:
      n->i = v.lVal;
      return S_OK;
    case VT_UI4:
      n->i = v.ulVal;
      return S_OK;
    case VT_INT:
      n->i = v.intVal;
      return S_OK;
    case VT_UINT:
      n->i = v.uintVal;
      return S_OK;
    case VT_I8:
      n->i = v.llVal;
      return S_OK;
    case VT_UI8:
      n->i = v.ullVal;
      return S_OK;
    case VT_BOOL:
      n->i = v.boolVal;
      return S_OK;
    case VT_R4:
      n->kind = number::real;
      n->r = v.fltVal;
      return S_OK;
    case VT_R8:
      n->kind = number::real;
      n->r = v.dblVal;
      return S_OK;
    case VT_DATE:
      n->kind = number::real;
      n->r = v.date;
      return S_OK;
    case VT_CY:
      n->kind = number::exact;
      return VarDecFromCy(v.cyVal, &n->d);
    case VT_DECIMAL:
      n->kind = number::exact;
      n->d = v.decVal;
      return S_OK;
    case VT_BSTR: {
      const std::string text = tk_w2a(v.bstrVal);
      if (target == VT_R4 || target == VT_R8 || target == VT_DATE) {
        const std::optional<double> value = ole_parse_double(text);
        if (!value) return DISP_E_TYPEMISMATCH;
        n->kind = number::real;
        n->r = *value;
        return S_OK;
      }
      n->kind = number::exact;
      return ole_dec_from_text(text, &n->d);
    }
    case VT_NULL:
      return DISP_E_TYPEMISMATCH;
    default:
      return DISP_E_BADVARTYPE;
  }
}

HRESULT to_integer(const number& n, __int128* out) {
  switch (n.kind) {
    case number::integer:
      *out = n.i;
      return S_OK;
    case number::real: {
      const double rounded = std::nearbyint(n.r);  // the default mode rounds half to even
      if (!std::isfinite(rounded) || std::fabs(rounded) > 1e30) return DISP_E_OVERFLOW;
      *out = static_cast<__int128>(rounded);
      return S_OK;
    }
    case number::exact:
      *out = ole_dec_to_integer(n.d);
      return S_OK;
  }
  return DISP_E_TYPEMISMATCH;
}

HRESULT to_double(const number& n, double* out) {
  switch (n.kind) {
    case number::integer:
      *out = static_cast<double>(n.i);
      return S_OK;
    case number::real:
      *out = n.r;
      return S_OK;
    case number::exact:
      return VarR8FromDec(n.d, out);
  }
  return DISP_E_TYPEMISMATCH;
}

template <class T>
bool fits(__int128 value) {
  return value >= std::numeric_limits<T>::min() && value <= std::numeric_limits<T>::max();
}

HRESULT store_integer(__int128 value, VARTYPE vt, VARIANT* out) {
  bool ok = false;
  switch (vt) {
    case VT_I1:
      if ((ok = fits<std::int8_t>(value))) out->cVal = static_cast<std::int8_t>(value);
      break;
    case VT_UI1:
      if ((ok = fits<std::uint8_t>(value))) out->bVal = static_cast<std::uint8_t>(value);
      break;
    case VT_I2:
      if ((ok = fits<std::int16_t>(value))) out->iVal = static_cast<std::int16_t>(value);
      break;
    case VT_UI2:
      if ((ok = fits<std::uint16_t>(value))) out->uiVal = static_cast<std::uint16_t>(value);
      break;
    case VT_I4:
      if ((ok = fits<std::int32_t>(value))) out->lVal = static_cast<std::int32_t>(value);
      break;
    case VT_UI4:
      if ((ok = fits<std::uint32_t>(value))) out->ulVal = static_cast<std::uint32_t>(value);
      break;
    case VT_INT:
      if ((ok = fits<std::int32_t>(value))) out->intVal = static_cast<std::int32_t>(value);
      break;
    case VT_UINT:
      if ((ok = fits<std::uint32_t>(value))) out->uintVal = static_cast<std::uint32_t>(value);
      break;
    case VT_I8:
      if ((ok = fits<std::int64_t>(value))) out->llVal = static_cast<std::int64_t>(value);
      break;
    case VT_UI8:
      if ((ok = fits<std::uint64_t>(value))) out->ullVal = static_cast<std::uint64_t>(value);
      break;
    default:
      return DISP_E_BADVARTYPE;
  }
  return ok ? S_OK : DISP_E_OVERFLOW;
}

std::string date_text(DATE date) {
  SYSTEMTIME st;
  if (!VariantTimeToSystemTime(date, &st)) return std::string();
  char buffer[64];
  const bool day_zero = st.wYear == 1899 && st.wMonth == 12 && st.wDay == 30;
  const bool midnight = st.wHour == 0 && st.wMinute == 0 && st.wSecond == 0;
  if (day_zero && !midnight) {
    std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", st.wHour, st.wMinute, st.wSecond);
  } else if (midnight) {
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", st.wYear, st.wMonth, st.wDay);
  } else {
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", st.wYear, st.wMonth,
                  st.wDay, st.wHour, st.wMinute, st.wSecond);
  }
  return buffer;
}

HRESULT to_text(const VARIANT& v, std::wstring* out) {
  std::string text;
  switch (v.vt) {
    case VT_EMPTY:
      break;
    case VT_I1:
      text = std::to_string(v.cVal);
      break;
    case VT_UI1:
      text = std::to_string(v.bVal);
      break;
    case VT_I2:
      text = std::to_string(v.iVal);
      break;
    case VT_UI2:
      text = std::to_string(v.uiVal);
      break;
    case VT_I4:
      text = std::to_string(v.lVal);
      break;
    case VT_UI4:
      text = std::to_string(v.ulVal);
      break;
    case VT_INT:
      text = std::to_string(v.intVal);
      break;
    case VT_UINT:
      text = std::to_string(v.uintVal);
      break;
    case VT_I8:
      text = std::to_string(v.llVal);
      break;
    case VT_UI8:
      text = std::to_string(v.ullVal);
      break;
    case VT_R4:
      text = ole_format_general(v.fltVal, 7);
      break;
    case VT_R8:
      text = ole_format_general(v.dblVal, 15);
      break;
    case VT_CY:
      text = ole_cy_to_text(v.cyVal);
      break;
    case VT_DECIMAL:
      return VarBstrFromDec(v.decVal, out);
    case VT_BOOL:
      text = v.boolVal ? "True" : "False";
      break;
    case VT_DATE:
      text = date_text(v.date);
      if (text.empty()) return DISP_E_OVERFLOW;
      break;
    case VT_BSTR:
      *out = v.bstrVal;
      return S_OK;
    case VT_NULL:
      return DISP_E_TYPEMISMATCH;
    default:
      return DISP_E_BADVARTYPE;
  }
  *out = tk_a2w(text);
  return S_OK;
}

HRESULT convert(const VARIANT& src, VARTYPE vt, VARIANT* out) {
  out->vt = vt;
  if (vt == VT_EMPTY) return S_OK;
  if (vt == VT_BSTR) return to_text(src, &out->bstrVal);
  if (vt == VT_DATE && src.vt == VT_BSTR)
    return ole_date_from_text(tk_w2a(src.bstrVal), &out->date);
  if (vt == VT_BOOL && src.vt == VT_BSTR) {
    const std::string text = tk_trim(tk_w2a(src.bstrVal));
    if (equals_nocase(text, "true")) {
      out->boolVal = VARIANT_TRUE;
      return S_OK;
    }
    if (equals_nocase(text, "false")) {
      out->boolVal = VARIANT_FALSE;
      return S_OK;
    }
  }
  number n;
  if (const HRESULT hr = read_number(src, vt, &n); FAILED(hr)) return hr;
  if (is_integer_type(vt)) {
    __int128 value = 0;
    if (const HRESULT hr = to_integer(n, &value); FAILED(hr)) return hr;
    return store_integer(value, vt, out);
  }
  switch (vt) {
    case VT_BOOL: {
      bool nonzero = false;
      switch (n.kind) {
        case number::integer:
          nonzero = n.i != 0;
          break;
        case number::real:
          nonzero = n.r != 0;
          break;  // NaN too
        case number::exact:
          nonzero = n.d.Hi32 != 0 || n.d.Lo64 != 0;
          break;
      }
      out->boolVal = nonzero ? VARIANT_TRUE : VARIANT_FALSE;
      return S_OK;
    }
    case VT_R8:
      return to_double(n, &out->dblVal);
    case VT_R4: {
      double value = 0;
      if (const HRESULT hr = to_double(n, &value); FAILED(hr)) return hr;
      if (std::isfinite(value) && std::fabs(value) > FLT_MAX) return DISP_E_OVERFLOW;
      out->fltVal = static_cast<float>(value);
      return S_OK;
    }
    case VT_DATE: {
      double value = 0;
      if (const HRESULT hr = to_double(n, &value); FAILED(hr)) return hr;
      SYSTEMTIME unused;
      if (!VariantTimeToSystemTime(value, &unused)) return DISP_E_OVERFLOW;
      out->date = value;
      return S_OK;
    }
    case VT_CY:
      switch (n.kind) {
        case number::integer:
          if (n.i > std::numeric_limits<std::int64_t>::max() / CY_SCALE ||
              n.i < std::numeric_limits<std::int64_t>::min() / CY_SCALE) {
            return DISP_E_OVERFLOW;
          }
          out->cyVal.int64 = static_cast<std::int64_t>(n.i) * CY_SCALE;
          return S_OK;
        case number::real:
          return VarCyFromR8(n.r, &out->cyVal);
        case number::exact:
          return VarCyFromDec(n.d, &out->cyVal);
      }
      return DISP_E_TYPEMISMATCH;
    case VT_DECIMAL:
      switch (n.kind) {
        case number::integer:
          return ole_dec_from_integer(n.i, &out->decVal);
        case number::real:
          return VarDecFromR8(n.r, &out->decVal);
        case number::exact:
          out->decVal = n.d;
          return S_OK;
      }
      return DISP_E_TYPEMISMATCH;
    default:
      return DISP_E_BADVARTYPE;
  }
}

}  // namespace

HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, std::uint16_t /*flags*/, VARTYPE vt) {
  if (!dest || !src) return E_INVALIDARG;
  if (!is_supported(vt) || !(is_supported(src->vt) || src->vt == VT_NULL)) return DISP_E_BADVARTYPE;
  if (src->vt == vt) {
    if (dest != src) *dest = *src;
    return S_OK;
  }
  VARIANT result;
  if (const HRESULT hr = convert(*src, vt, &result); FAILED(hr)) return hr;
  if (result.vt == VT_BSTR || ole_is_array_tag(result.vt)) {
    *dest = std::move(result);
    return S_OK;
  }
  // A number in place of a text keeps the text's buffer, so that a row of
  // values reused for every record does not allocate again for the next text.
  dest->vt = result.vt;
  std::memcpy(&dest->decVal, &result.decVal, sizeof(DECIMAL));  // the whole union
  dest->bstrVal.clear();
  dest->parray.data.clear();
  dest->parray.lower_bound = 0;
  return S_OK;
}
