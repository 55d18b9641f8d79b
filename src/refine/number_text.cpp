#include "number_text.hpp"

#include <array>
#include <charconv>
#include <cmath>
#include <system_error>

namespace {

constexpr bool is_digit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// Far outside any double's range, and small enough that the sums below
// cannot overflow.
constexpr std::int32_t exponent_cap = 100000;

// Adds a run of digits to `digits` and returns the end of the run. Past 38
// significant digits the sum wraps, but such a number is refused by its digit
// count before its digits are used. Runs of up to 19 digits, nearly all of
// them, are summed in 64 bits.
inline const wchar_t* read_run(const wchar_t* p, const wchar_t* end, unsigned __int128& digits) {
  static constexpr auto powers = [] {
    std::array<std::uint64_t, 20> table{};
    table[0] = 1;
    for (std::size_t i = 1; i < table.size(); ++i) table[i] = table[i - 1] * 10;
    return table;
  }();
  const wchar_t* const start = p;
  const wchar_t* const fast_end = end - start > 19 ? start + 19 : end;
  std::uint64_t sum = 0;
  for (; p != fast_end; ++p) {
    const std::uint32_t digit = static_cast<std::uint32_t>(*p) - U'0';
    if (digit > 9) break;
    sum = sum * 10 + digit;
  }
  digits = digits * powers[p - start] + sum;
  if (p != fast_end) return p;
  for (; p != end; ++p) {
    const std::uint32_t digit = static_cast<std::uint32_t>(*p) - U'0';
    if (digit > 9) break;
    digits = digits * 10 + digit;
  }
  return p;
}

// A shortest scientific form "d[.ddd]e±x" as its digits and the power of ten
// of its last digit; false if the text is not of that form.
bool read_scientific(const char* first, const char* last, std::uint64_t& mantissa,
                     std::int32_t& power) {
  mantissa = 0;
  std::int32_t count = 0;
  const char* p = first;
  for (; p != last && *p != 'e'; ++p) {
    if (*p == '.') continue;
    if (*p < '0' || *p > '9' || count == 19) return false;
    mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
    ++count;
  }
  if (p == last || count == 0) return false;
  ++p;
  if (p != last && *p == '+') ++p;  // from_chars reads '-' but not '+'
  std::int32_t exponent = 0;
  const auto parsed = std::from_chars(p, last, exponent);
  if (parsed.ec != std::errc() || parsed.ptr != last) return false;
  power = exponent - (count - 1);
  while (mantissa != 0 && mantissa % 10 == 0) {
    mantissa /= 10;
    ++power;
  }
  return true;
}

// Works on a local number_text, which the compiler keeps in registers rather
// than storing each digit through the caller's reference.
inline number_fault scan_into(std::wstring_view text, number_text& out) {
  const wchar_t* p = text.data();
  const wchar_t* const end = p + text.size();
  if (p == end) return number_fault::not_a_number;
  if (*p == L'+')
    return p + 1 != end && is_digit(p[1]) ? number_fault::plus_sign : number_fault::not_a_number;
  if (*p == L'-') {
    out.negative = true;
    ++p;
  }

  const wchar_t* const int_start = p;
  p = read_run(p, end, out.digits);
  if (p == int_start) return number_fault::not_a_number;
  if (*int_start != L'0')
    out.int_digits = static_cast<std::int32_t>(p - int_start);
  else if (p - int_start > 1)
    return number_fault::leading_zero;

  // Below one, the zeros after the point up to the first other digit are no
  // significant digits.
  std::int32_t zeros_in_front = 0;
  if (p != end && *p == L'.') {
    const wchar_t* const fraction_start = ++p;
    p = read_run(p, end, out.digits);
    out.scale = static_cast<std::int32_t>(p - fraction_start);
    if (out.scale == 0) return number_fault::not_a_number;
    if (out.int_digits == 0)
      while (zeros_in_front < out.scale && fraction_start[zeros_in_front] == L'0') ++zeros_in_front;
  }
  out.digit_count = out.int_digits + out.scale - zeros_in_front;
  if (out.digit_count > number_text::max_digits) return number_fault::too_many_digits;
  // Back from the end of the digits to the last one that is not a zero (there
  // is one among the significant digits).
  for (const wchar_t* q = p; out.trailing_zeros < out.digit_count;) {
    if (*--q == L'.') continue;
    if (*q != L'0') break;
    ++out.trailing_zeros;
  }

  if (p != end && (*p == L'e' || *p == L'E')) {
    ++p;
    bool b_negative_exponent = false;
    if (p != end && (*p == L'-' || *p == L'+')) b_negative_exponent = *p++ == L'-';
    const wchar_t* const exponent_start = p;
    std::int32_t exponent = 0;
    for (; p != end && is_digit(*p); ++p)
      if (exponent < exponent_cap) exponent = exponent * 10 + (*p - L'0');
    if (p == exponent_start) return number_fault::not_a_number;
    out.exponent = b_negative_exponent ? -exponent : exponent;
    out.b_exponent = true;
  }

  if (p == end) return number_fault::none;
  return *p == L',' && p + 1 != end && is_digit(p[1]) ? number_fault::comma
                                                      : number_fault::not_a_number;
}

}  // namespace

number_fault number_text::scan(std::wstring_view text, number_text& out) {
  number_text number;
  const number_fault fault = scan_into(text, number);
  out = number;
  return fault;
}

bool number_text::fits_double() const {
  if (fits_double_fast()) return true;
  const std::int32_t significant = digit_count - trailing_zeros;
  // No double has more than 17 significant digits in its shortest form.
  if (significant > 17) return false;
  unsigned __int128 stripped = digits;
  for (std::int32_t i = 0; i < trailing_zeros; ++i) stripped /= 10;
  const auto mantissa = static_cast<std::uint64_t>(stripped);
  const std::int32_t power = leading_power() - (significant - 1);

  char text[48];
  // At most 20 digits, 'e' and 11 characters of exponent: the buffer is ample.
  char* last = std::to_chars(text, text + 24, mantissa).ptr;
  *last++ = 'e';
  last = std::to_chars(last, text + sizeof text, power).ptr;
  double value = 0;
  // Out of range (overflow, or an underflow to a subnormal) fails here.
  const auto parsed = std::from_chars(text, last, value);
  if (parsed.ec != std::errc() || !std::isnormal(value)) return false;

  char shortest[40];
  const auto printed =
      std::to_chars(shortest, shortest + sizeof shortest, value, std::chars_format::scientific);
  std::uint64_t back_mantissa = 0;
  std::int32_t back_power = 0;
  return read_scientific(shortest, printed.ptr, back_mantissa, back_power) &&
         back_mantissa == mantissa && back_power == power;
}
