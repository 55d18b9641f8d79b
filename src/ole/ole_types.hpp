// OLE Automation value types: the tagged VARIANT and its payload types.
//
// Small value types of our own that keep the names and the VT_ numbers of OLE
// Automation, so the layers above can speak of values the way they always
// have. Unlike their Windows originals they own their payloads through
// standard containers: the text payload is a std::wstring and the byte array a
// std::vector, so copying a VARIANT duplicates them and nothing can leak or be
// freed twice. Numeric payloads live in a union and never touch the heap.
// Plain values: no thread-safety beyond that of the standard containers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using VARTYPE = std::uint16_t;

enum : VARTYPE {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_CY = 6,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_DECIMAL = 14,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
  VT_CARRAY = 27,
  VT_LPSTR = 30,
  VT_LPWSTR = 31,
  VT_BLOB = 65,
  VT_BLOB_OBJECT = 70,
  VT_ARRAY = 0x2000,
};

// Result codes of the conversion functions (the OLE HRESULT values).
using HRESULT = std::int32_t;
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005u);
inline constexpr HRESULT DISP_E_BADVARTYPE = static_cast<HRESULT>(0x80020008u);
inline constexpr HRESULT DISP_E_OVERFLOW = static_cast<HRESULT>(0x8002000Au);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);

inline constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
inline constexpr bool FAILED(HRESULT hr) { return hr < 0; }

using VARIANT_BOOL = std::int16_t;
inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;

// Days since 1899-12-30 00:00; see ole_datetime.hpp for negative values.
using DATE = double;

// A broken-down date and time. All fields zero means "no date".
struct SYSTEMTIME {
  std::uint16_t wYear = 0;
  std::uint16_t wMonth = 0;
  std::uint16_t wDayOfWeek = 0;  // 0 Sunday .. 6 Saturday
  std::uint16_t wDay = 0;
  std::uint16_t wHour = 0;
  std::uint16_t wMinute = 0;
  std::uint16_t wSecond = 0;
  std::uint16_t wMilliseconds = 0;

  friend bool operator==(const SYSTEMTIME&, const SYSTEMTIME&) = default;
};

// Currency: a signed 64-bit integer scaled by 10,000 (four decimal places).
// CY and DECIMAL are trivial like their originals (they sit in VARIANT's
// union): value-initialise them, CY{} and DECIMAL{}.
struct CY {
  std::int64_t int64;

  friend bool operator==(const CY&, const CY&) = default;
};
inline constexpr std::int64_t CY_SCALE = 10000;

// Decimal: value = (-1)^sign * (Hi32 * 2^64 + Lo64) / 10^scale, scale 0..28.
// The field order and sizes are those of OLE Automation (16 bytes).
struct DECIMAL {
  std::uint16_t wReserved;
  std::uint8_t scale;
  std::uint8_t sign;  // DECIMAL_NEG or 0
  std::uint32_t Hi32;
  std::uint64_t Lo64;

  friend bool operator==(const DECIMAL&, const DECIMAL&) = default;
};
inline constexpr std::uint8_t DECIMAL_NEG = 0x80;
inline constexpr std::uint8_t DECIMAL_MAX_SCALE = 28;
static_assert(sizeof(DECIMAL) == 16);

// The one-dimensional byte array (VT_ARRAY|VT_UI1). Elements are indexed from
// lower_bound; data.size() is the element count.
struct SAFEARRAY {
  std::vector<std::uint8_t> data;
  std::int32_t lower_bound = 0;

  friend bool operator==(const SAFEARRAY&, const SAFEARRAY&) = default;
};

// The tagged value. vt names which payload is meaningful: one member of the
// union for numbers, booleans, currency, decimals and dates, bstrVal for
// VT_BSTR and parray for VT_ARRAY|VT_UI1 (and VT_CARRAY).
struct VARIANT {
  VARTYPE vt = VT_EMPTY;
  union {
    DECIMAL decVal{};
    std::int8_t cVal;
    std::uint8_t bVal;
    std::int16_t iVal;
    std::uint16_t uiVal;
    std::int32_t lVal;
    std::uint32_t ulVal;
    std::int32_t intVal;
    std::uint32_t uintVal;
    std::int64_t llVal;
    std::uint64_t ullVal;
    float fltVal;
    double dblVal;
    VARIANT_BOOL boolVal;
    std::int32_t scode;
    CY cyVal;
    DATE date;
  };
  std::wstring bstrVal;
  SAFEARRAY parray;
};

// Back to VT_EMPTY, releasing any text or array payload.
inline void VariantClear(VARIANT& v) {
  v.vt = VT_EMPTY;
  v.decVal = DECIMAL{};
  std::wstring().swap(v.bstrVal);
  std::vector<std::uint8_t>().swap(v.parray.data);
  v.parray.lower_bound = 0;
}

// True for the tags whose payload is the byte array.
inline constexpr bool ole_is_array_tag(VARTYPE vt) {
  return vt == (VT_ARRAY | VT_UI1) || vt == VT_CARRAY;
}
