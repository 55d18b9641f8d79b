// VariantChangeType: converts a VARIANT between the numeric, boolean,
// currency, decimal, date and text types, with OLE Automation's results.
//
// Supported types: VT_EMPTY, VT_I1, VT_UI1, VT_I2, VT_UI2, VT_I4, VT_UI4,
// VT_INT, VT_UINT, VT_I8, VT_UI8, VT_R4, VT_R8, VT_CY, VT_DECIMAL, VT_DATE,
// VT_BOOL, VT_BSTR. Results:
//   S_OK                 converted; `dest` holds the new value;
//   DISP_E_OVERFLOW      the value does not fit the target type;
//   DISP_E_TYPEMISMATCH  the text is not a number / boolean / date, or VT_NULL;
//   DISP_E_BADVARTYPE    a source or target type outside the list above.
// On failure `dest` is left untouched. `dest` may be the source itself.
//
// Conversion rules (locale-independent, unlike the Windows function):
//   - to integers from reals, currency and decimals: rounded half to even;
//   - text is read as one number with '.' as decimal point, no grouping
//     separators, optional sign and exponent, blanks around it; for VT_BOOL
//     also "true"/"false" in any case; for VT_DATE the forms of
//     ole_date_parser.hpp;
//   - booleans are -1 (VARIANT_TRUE) and 0 as numbers, "True"/"False" as text;
//   - reals print with 7 (VT_R4) or 15 (VT_R8) significant digits ("%G"),
//     currency and decimals exactly without trailing zeros, dates as
//     "yyyy-mm-dd hh:mm:ss" ("yyyy-mm-dd" at midnight, "hh:mm:ss" on day 0).
// Pure function; thread-safe.
#pragma once

#include <cstdint>

#include "ole_types.hpp"

HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, std::uint16_t flags, VARTYPE vt);
