// Currency (CY) and DECIMAL to and from text, doubles and each other.
//
// Stand-ins for the OLE Automation VarXxxFromYyy functions the value layer
// needs, with their results: S_OK, DISP_E_OVERFLOW when the value does not fit
// the target, DISP_E_TYPEMISMATCH when text is not a number. Text is read and
// written the same way in every locale: '.' is the decimal point, no grouping
// separators, blanks around the number allowed, an optional sign and an
// optional exponent ("1.5e3"). Digits beyond what the target holds are rounded
// half to even (banker's rounding, as OLE does). Text output has no exponent
// and no trailing zeros after the decimal point ("12.5", "-0.0001", "3").
// Pure functions; thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "ole_types.hpp"

HRESULT VarCyFromStr(std::wstring_view text, CY* out);
HRESULT VarDecFromStr(std::wstring_view text, DECIMAL* out);
HRESULT VarBstrFromCy(CY value, std::wstring* out);
HRESULT VarBstrFromDec(const DECIMAL& value, std::wstring* out);

HRESULT VarR8FromCy(CY value, double* out);
HRESULT VarR8FromDec(const DECIMAL& value, double* out);
// Doubles go through their 15 significant digits, so 0.1 becomes exactly 0.1.
HRESULT VarCyFromR8(double value, CY* out);
HRESULT VarDecFromR8(double value, DECIMAL* out);

HRESULT VarCyFromDec(const DECIMAL& value, CY* out);
HRESULT VarDecFromCy(CY value, DECIMAL* out);  // scale 4, as OLE keeps it
HRESULT VarI4FromDec(const DECIMAL& value, std::int32_t* out);

// Narrow-text forms of the above, shared by the type conversion.
HRESULT ole_cy_from_text(std::string_view text, CY* out);
HRESULT ole_dec_from_text(std::string_view text, DECIMAL* out);
std::string ole_cy_to_text(CY value);
std::string ole_dec_to_text(const DECIMAL& value);

// A DECIMAL rounded half to even to a whole number (always fits: < 2^96).
__int128 ole_dec_to_integer(const DECIMAL& value);
// A whole number as a DECIMAL of scale 0; DISP_E_OVERFLOW beyond 96 bits.
HRESULT ole_dec_from_integer(__int128 value, DECIMAL* out);
