// number_text: one text read as a number written plainly, for typing columns.
//
// Accepted: an optional '-', digits, an optional '.' and digits, an optional
// exponent ('e' or 'E', an optional sign, digits). Only forms a SQL Server
// number gives back with the same meaning qualify: no leading zeros other
// than a lone "0" before the point ("0", "0.5"; not "007", "00.5"), no '+',
// no blanks, no thousands separators or decimal commas, no bare point (".5",
// "5."), at most 38 significant digits. Anything else is no number, and the
// fault says why, so a user can be told why a column stayed text.
//
// Reading is one pass over the characters with no allocation; the digits are
// kept as one 128-bit integer. A plain value; scan() is thread-safe.
#pragma once

#include <cstdint>
#include <string_view>

enum class number_fault : std::uint8_t {
  none,
  not_a_number,
  leading_zero,     // "007": the zeros would be lost
  plus_sign,        // "+5": the sign would be lost
  comma,            // "1,000" or "1,5": grouping or a decimal comma
  too_many_digits,  // more than 38 significant digits
};

struct number_text {
  static constexpr int max_digits = 38;

  // The significant digits as one integer, the point left out: 12.50 -> 1250.
  unsigned __int128 digits = 0;
  // Digits from the first non-zero one to the end of the mantissa (0 for zero).
  std::int32_t digit_count = 0;
  // Of those, the zeros at the end: 1250 has one.
  std::int32_t trailing_zeros = 0;
  // Significant digits before the point: 0.5 has none, 12.5 has two.
  std::int32_t int_digits = 0;
  // Every digit after the point, zeros included: 0.10 has two.
  std::int32_t scale = 0;
  std::int32_t exponent = 0;  // the written exponent; 0 without one
  bool negative = false;
  bool b_exponent = false;  // written in exponent form

  static number_fault scan(std::wstring_view text, number_text& out);

  bool is_whole() const { return scale == 0 && !b_exponent; }
  // A whole number that fits a signed integer of `bits` bits.
  bool fits_signed(int bits) const {
    const unsigned __int128 limit = static_cast<unsigned __int128>(1) << (bits - 1);
    return is_whole() && (negative ? digits <= limit : digits < limit);
  }
  // The value converts to a double and back to the same decimal value: the
  // shortest form of the nearest double has the same digits and exponent.
  bool fits_double() const;
  // The cheap half of fits_double, with no false positives: at most 15
  // significant digits inside the normal range, or a whole number up to 2^53,
  // always fit.
  bool fits_double_fast() const {
    if (digit_count == 0) return true;
    // Every whole number up to 2^53 is a double of its own.
    if (is_whole() && digits <= static_cast<unsigned __int128>(1) << 53) return true;
    const std::int32_t power = leading_power();
    return digit_count - trailing_zeros <= 15 && power >= -307 && power <= 307;
  }
  // Decimal places of the leading digit: 123.4 -> 2, 0.05 -> -2.
  std::int32_t leading_power() const { return exponent - scale + digit_count - 1; }
};
