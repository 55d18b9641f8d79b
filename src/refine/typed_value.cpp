#include "typed_value.hpp"

#include <charconv>
#include <cmath>
#include <system_error>

#include "date_text.hpp"
#include "number_text.hpp"
#include "ole_datetime.hpp"

namespace {

bool is_boolean_true(std::wstring_view text) {
  if (text.size() != 4) return false;
  return (text[0] | 0x20) == L't' && (text[1] | 0x20) == L'r' && (text[2] | 0x20) == L'u' &&
         (text[3] | 0x20) == L'e';
}

bool is_boolean_false(std::wstring_view text) {
  if (text.size() != 5) return false;
  return (text[0] | 0x20) == L'f' && (text[1] | 0x20) == L'a' && (text[2] | 0x20) == L'l' &&
         (text[3] | 0x20) == L's' && (text[4] | 0x20) == L'e';
}

unsigned __int128 power_of_ten(int exponent) {
  unsigned __int128 result = 1;
  for (int i = 0; i < exponent; ++i) result *= 10;
  return result;
}

// The nearest double to digits x 10^power, correctly rounded.
bool to_double(const number_text& number, double& out) {
  char text[80];
  char* p = text + 40;  // the digits are written backwards from here
  char* const digits_end = p;
  unsigned __int128 digits = number.digits;
  do {
    *--p = static_cast<char>('0' + static_cast<int>(digits % 10));
    digits /= 10;
  } while (digits != 0);
  if (number.negative) *--p = '-';
  char* last = digits_end;
  *last++ = 'e';
  last = std::to_chars(last, text + sizeof text, number.exponent - number.scale).ptr;
  const auto parsed = std::from_chars(p, last, out);
  return parsed.ec == std::errc() && std::isfinite(out);
}

bool number_from_text(std::wstring_view text, const column_verdict& verdict, typed_value& out) {
  number_text number;
  if (number_text::scan(text, number) != number_fault::none) return false;
  switch (verdict.type) {
    case column_type::int32:
    case column_type::int64: {
      if (!number.fits_signed(verdict.type == column_type::int32 ? 32 : 64)) return false;
      const auto magnitude = static_cast<__int128>(number.digits);
      out.integer = static_cast<std::int64_t>(number.negative ? -magnitude : magnitude);
      return true;
    }
    case column_type::decimal: {
      if (number.b_exponent || number.scale > verdict.scale ||
          number.int_digits > verdict.precision - verdict.scale)
        return false;
      const auto magnitude =
          static_cast<__int128>(number.digits * power_of_ten(verdict.scale - number.scale));
      out.decimal = number.negative ? -magnitude : magnitude;
      return true;
    }
    case column_type::floating:
      return to_double(number, out.real);
    default:
      return false;
  }
}

bool date_from_text(std::wstring_view text, const column_verdict& verdict, typed_value& out) {
  date_text date;
  if (date_text::scan(text, date) != date_fault::none) return false;
  switch (verdict.type) {
    case column_type::date:
      if (!date.b_date || date.b_time) return false;
      break;
    case column_type::datetime2:
      if (!date.b_date || date.fraction_digits > verdict.scale) return false;
      break;
    case column_type::time:
      if (date.b_date || date.fraction_digits > verdict.scale) return false;
      break;
    default:  // datetime holds all three
      break;
  }
  if (date.b_date) {
    int year = 0, month = 0, day = 0;
    if (!date.resolve(verdict.order, year, month, day)) return false;
    out.year = static_cast<std::uint16_t>(year);
    out.month = static_cast<std::uint8_t>(month);
    out.day = static_cast<std::uint8_t>(day);
  } else if (verdict.type == column_type::datetime) {
    out.year = 1900;  // SQL Server's day 0
    out.month = 1;
    out.day = 1;
  }
  out.hour = date.hour;
  out.minute = date.minute;
  out.second = date.second;
  out.fraction = date.fraction;
  return true;
}

// A numeric cell as a whole number; false for a fraction or beyond 64 bits.
bool cell_integer(const VARIANT& cell, std::int64_t& out) {
  switch (cell.vt) {
    case VT_I1:
      out = cell.cVal;
      return true;
    case VT_I2:
      out = cell.iVal;
      return true;
    case VT_I4:
    case VT_INT:
      out = cell.lVal;
      return true;
    case VT_I8:
      out = cell.llVal;
      return true;
    case VT_UI1:
      out = cell.bVal;
      return true;
    case VT_UI2:
      out = cell.uiVal;
      return true;
    case VT_UI4:
    case VT_UINT:
      out = cell.ulVal;
      return true;
    case VT_UI8:
      out = static_cast<std::int64_t>(cell.ullVal);
      return cell.ullVal <= INT64_MAX;
    case VT_R4:
    case VT_R8: {
      const double value = cell.vt == VT_R4 ? static_cast<double>(cell.fltVal) : cell.dblVal;
      if (!(value >= -9223372036854775808.0 && value < 9223372036854775808.0) ||
          value != std::trunc(value))
        return false;
      out = static_cast<std::int64_t>(value);
      return true;
    }
    default:
      return false;
  }
}

bool cell_double(const VARIANT& cell, double& out) {
  switch (cell.vt) {
    case VT_R4:
      out = cell.fltVal;
      return true;
    case VT_R8:
      out = cell.dblVal;
      return true;
    default: {
      std::int64_t whole = 0;
      if (!cell_integer(cell, whole)) return false;
      out = static_cast<double>(whole);
      return true;
    }
  }
}

bool date_from_cell(const VARIANT& cell, const column_verdict& verdict, typed_value& out) {
  SYSTEMTIME st;
  if (cell.vt != VT_DATE || !VariantTimeToSystemTime(cell.date, &st)) return false;
  const bool b_time = st.wHour != 0 || st.wMinute != 0 || st.wSecond != 0;
  if (verdict.type == column_type::date && b_time) return false;
  if (verdict.type == column_type::time) return false;
  out.year = st.wYear;
  out.month = static_cast<std::uint8_t>(st.wMonth);
  out.day = static_cast<std::uint8_t>(st.wDay);
  out.hour = static_cast<std::uint8_t>(st.wHour);
  out.minute = static_cast<std::uint8_t>(st.wMinute);
  out.second = static_cast<std::uint8_t>(st.wSecond);
  return true;
}

}  // namespace

bool typed_value::from_text(std::wstring_view text, const column_verdict& verdict,
                            typed_value& out) {
  out = typed_value{};
  switch (verdict.type) {
    case column_type::text:
    case column_type::as_declared:
    case column_type::money:  // texts never become money
      return false;
    default:
      break;
  }
  if (text.empty()) {
    out.b_null = true;
    return true;
  }
  switch (verdict.type) {
    case column_type::bit:
      out.integer = is_boolean_true(text) ? 1 : 0;
      return out.integer == 1 || is_boolean_false(text);
    case column_type::int32:
    case column_type::int64:
    case column_type::decimal:
    case column_type::floating:
      return number_from_text(text, verdict, out);
    default:
      return date_from_text(text, verdict, out);
  }
}

bool typed_value::from_cell(const VARIANT& cell, const column_verdict& verdict, typed_value& out) {
  out = typed_value{};
  if (verdict.type == column_type::text || verdict.type == column_type::as_declared) return false;
  if (cell.vt == VT_EMPTY || cell.vt == VT_NULL || cell.vt == VT_ERROR ||
      (cell.vt == VT_BSTR && cell.bstrVal.empty())) {
    out.b_null = true;
    return true;
  }
  switch (verdict.type) {
    case column_type::bit:
      if (cell.vt != VT_BOOL) return false;
      out.integer = cell.boolVal != 0 ? 1 : 0;
      return true;
    case column_type::int32:
      return cell_integer(cell, out.integer) && out.integer >= INT32_MIN &&
             out.integer <= INT32_MAX;
    case column_type::int64:
      return cell_integer(cell, out.integer);
    case column_type::floating:
      return cell_double(cell, out.real);
    case column_type::money:
      if (cell.vt != VT_CY) return false;
      out.integer = cell.cyVal.int64;
      return true;
    case column_type::date:
    case column_type::datetime:
    case column_type::datetime2:
    case column_type::time:
      return date_from_cell(cell, verdict, out);
    default:
      return false;
  }
}
