#include "ole_decimal.hpp"

#include <cmath>
#include <limits>
#include <optional>

#include "ole_number_text.hpp"
#include "tk_text.hpp"

namespace {

using u128 = unsigned __int128;

constexpr u128 decimal_limit = static_cast<u128>(1) << 96;  // mantissas stay below

// A number read from text: (-1)^negative * digits / 10^scale, exactly.
struct exact_number {
  bool negative = false;
  std::string digits;  // no leading zeros; empty for zero
  int scale = 0;       // may be negative (an exponent) or above 28
};

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

std::optional<exact_number> parse_exact(std::string_view text) {
  std::size_t i = 0, end = text.size();
  while (i < end && is_blank(text[i])) ++i;
  while (end > i && is_blank(text[end - 1])) --end;
  exact_number number;
  if (i < end && (text[i] == '+' || text[i] == '-')) number.negative = text[i++] == '-';
  std::string digits;
  int fraction_digits = 0;
  while (i < end && is_digit(text[i])) digits += text[i++];
  if (i < end && text[i] == '.') {
    ++i;
    while (i < end && is_digit(text[i])) {
      digits += text[i++];
      ++fraction_digits;
    }
  }
  if (digits.empty()) return std::nullopt;
  long exponent = 0;
  if (i < end && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool negative_exponent = false;
    if (i < end && (text[i] == '+' || text[i] == '-')) negative_exponent = text[i++] == '-';
    if (i == end || !is_digit(text[i])) return std::nullopt;
    while (i < end && is_digit(text[i])) {
      // Far beyond any decimal's range; saturate rather than overflow.
      if (exponent < 100000) exponent = exponent * 10 + (text[i] - '0');
      ++i;
    }
    if (negative_exponent) exponent = -exponent;
  }
  if (i != end) return std::nullopt;
  const std::size_t first = digits.find_first_not_of('0');
  number.digits = first == std::string::npos ? std::string() : digits.substr(first);
  number.scale = static_cast<int>(fraction_digits - exponent);
  return number;
}

// The digits of the number scaled to `scale` decimal places, rounded half to
// even; nullopt when the result would have more than 40 digits.
std::optional<std::string> rescale(const exact_number& number, int scale) {
  std::string digits = number.digits;
  if (digits.empty()) return std::string();
  if (number.scale <= scale) {
    const long zeros = static_cast<long>(scale) - number.scale;
    if (static_cast<long>(digits.size()) + zeros > 40) return std::nullopt;
    digits.append(static_cast<std::size_t>(zeros), '0');
    return digits;
  }
  const std::size_t drop = static_cast<std::size_t>(number.scale - scale);
  if (drop > digits.size()) return std::string();  // below half of the last place
  std::string kept = digits.substr(0, digits.size() - drop);
  const std::string_view dropped = std::string_view(digits).substr(digits.size() - drop);
  bool up = false;
  if (dropped[0] > '5') {
    up = true;
  } else if (dropped[0] == '5') {
    const bool beyond_half = dropped.find_first_not_of('0', 1) != std::string_view::npos;
    const bool odd = !kept.empty() && ((kept.back() - '0') % 2 == 1);
    up = beyond_half || odd;
  }
  if (up) {
    std::size_t k = kept.size();
    while (k > 0 && kept[k - 1] == '9') kept[--k] = '0';
    if (k == 0) {
      kept.insert(kept.begin(), '1');
    } else {
      ++kept[k - 1];
    }
  }
  const std::size_t first = kept.find_first_not_of('0');
  return first == std::string::npos ? std::string() : kept.substr(first);
}

std::optional<u128> digits_value(const std::string& digits) {
  if (digits.size() > 38) return std::nullopt;
  u128 value = 0;
  for (char c : digits) value = value * 10 + static_cast<unsigned>(c - '0');
  return value;
}

std::string u128_digits(u128 value) {
  if (value == 0) return "0";
  std::string text;
  while (value != 0) {
    text.insert(text.begin(), static_cast<char>('0' + static_cast<int>(value % 10)));
    value /= 10;
  }
  return text;
}

u128 mantissa_of(const DECIMAL& value) {
  return (static_cast<u128>(value.Hi32) << 64) | value.Lo64;
}

HRESULT exact_to_decimal(const exact_number& number, DECIMAL* out) {
  int scale =
      number.scale < 0 ? 0 : (number.scale > DECIMAL_MAX_SCALE ? DECIMAL_MAX_SCALE : number.scale);
  for (;; --scale) {
    const std::optional<std::string> digits = rescale(number, scale);
    if (digits) {
      const std::optional<u128> value = digits_value(*digits);
      if (value && *value < decimal_limit) {
        DECIMAL result{};
        result.scale = static_cast<std::uint8_t>(scale);
        result.sign = number.negative && *value != 0 ? DECIMAL_NEG : 0;
        result.Hi32 = static_cast<std::uint32_t>(*value >> 64);
        result.Lo64 = static_cast<std::uint64_t>(*value);
        *out = result;
        return S_OK;
      }
    }
    if (scale == 0) return DISP_E_OVERFLOW;
  }
}

HRESULT exact_to_cy(const exact_number& number, CY* out) {
  const std::optional<std::string> digits = rescale(number, 4);
  if (!digits) return DISP_E_OVERFLOW;
  const std::optional<u128> value = digits_value(*digits);
  constexpr u128 max = static_cast<u128>(std::numeric_limits<std::int64_t>::max());
  if (!value || *value > max + (number.negative ? 1 : 0)) return DISP_E_OVERFLOW;
  const __int128 signed_value =
      number.negative ? -static_cast<__int128>(*value) : static_cast<__int128>(*value);
  out->int64 = static_cast<std::int64_t>(signed_value);
  return S_OK;
}

exact_number exact_from_decimal(const DECIMAL& value) {
  exact_number number;
  const u128 mantissa = mantissa_of(value);
  number.negative = (value.sign & DECIMAL_NEG) != 0;
  number.digits = mantissa == 0 ? std::string() : u128_digits(mantissa);
  number.scale = value.scale;
  return number;
}

std::string scaled_text(bool negative, u128 magnitude, int scale) {
  std::string digits = u128_digits(magnitude);
  if (scale > 0) {
    if (digits.size() <= static_cast<std::size_t>(scale)) {
      digits.insert(0, static_cast<std::size_t>(scale) + 1 - digits.size(), '0');
    }
    digits.insert(digits.size() - static_cast<std::size_t>(scale), 1, '.');
    const std::size_t last = digits.find_last_not_of('0');
    digits.erase(digits[last] == '.' ? last : last + 1);
  }
  if (negative && magnitude != 0) digits.insert(digits.begin(), '-');
  return digits;
}

HRESULT text_from_double(double value, std::string* text) {
  if (!std::isfinite(value)) return DISP_E_OVERFLOW;
  *text = ole_format_general(value, 15);
  return S_OK;
}

}  // namespace

HRESULT ole_cy_from_text(std::string_view text, CY* out) {
  const std::optional<exact_number> number = parse_exact(text);
  if (!number) return DISP_E_TYPEMISMATCH;
  return exact_to_cy(*number, out);
}

HRESULT ole_dec_from_text(std::string_view text, DECIMAL* out) {
  const std::optional<exact_number> number = parse_exact(text);
  if (!number) return DISP_E_TYPEMISMATCH;
  return exact_to_decimal(*number, out);
}

std::string ole_cy_to_text(CY value) {
  const bool negative = value.int64 < 0;
  const u128 magnitude =
      negative ? static_cast<u128>(0) - static_cast<u128>(static_cast<__int128>(value.int64))
               : static_cast<u128>(value.int64);
  return scaled_text(negative, magnitude, 4);
}

std::string ole_dec_to_text(const DECIMAL& value) {
  return scaled_text((value.sign & DECIMAL_NEG) != 0, mantissa_of(value), value.scale);
}

HRESULT VarCyFromStr(std::wstring_view text, CY* out) {
  return ole_cy_from_text(tk_w2a(text), out);
}

HRESULT VarDecFromStr(std::wstring_view text, DECIMAL* out) {
  return ole_dec_from_text(tk_w2a(text), out);
}

HRESULT VarBstrFromCy(CY value, std::wstring* out) {
  *out = tk_a2w(ole_cy_to_text(value));
  return S_OK;
}

HRESULT VarBstrFromDec(const DECIMAL& value, std::wstring* out) {
  if (value.scale > DECIMAL_MAX_SCALE || mantissa_of(value) >= decimal_limit) return E_INVALIDARG;
  *out = tk_a2w(ole_dec_to_text(value));
  return S_OK;
}

HRESULT VarR8FromCy(CY value, double* out) {
  *out = ole_atof(ole_cy_to_text(value));
  return S_OK;
}

HRESULT VarR8FromDec(const DECIMAL& value, double* out) {
  if (value.scale > DECIMAL_MAX_SCALE) return E_INVALIDARG;
  *out = ole_atof(ole_dec_to_text(value));
  return S_OK;
}

HRESULT VarCyFromR8(double value, CY* out) {
  std::string text;
  if (const HRESULT hr = text_from_double(value, &text); FAILED(hr)) return hr;
  return ole_cy_from_text(text, out);
}

HRESULT VarDecFromR8(double value, DECIMAL* out) {
  std::string text;
  if (const HRESULT hr = text_from_double(value, &text); FAILED(hr)) return hr;
  return ole_dec_from_text(text, out);
}

HRESULT VarCyFromDec(const DECIMAL& value, CY* out) {
  if (value.scale > DECIMAL_MAX_SCALE) return E_INVALIDARG;
  return exact_to_cy(exact_from_decimal(value), out);
}

HRESULT VarDecFromCy(CY value, DECIMAL* out) {
  const bool negative = value.int64 < 0;
  const u128 magnitude =
      negative ? static_cast<u128>(0) - static_cast<u128>(static_cast<__int128>(value.int64))
               : static_cast<u128>(value.int64);
  DECIMAL result{};
  result.scale = 4;
  result.sign = negative ? DECIMAL_NEG : 0;
  result.Hi32 = 0;
  result.Lo64 = static_cast<std::uint64_t>(magnitude);
  *out = result;
  return S_OK;
}

HRESULT VarI4FromDec(const DECIMAL& value, std::int32_t* out) {
  if (value.scale > DECIMAL_MAX_SCALE) return E_INVALIDARG;
  const __int128 whole = ole_dec_to_integer(value);
  if (whole < std::numeric_limits<std::int32_t>::min() ||
      whole > std::numeric_limits<std::int32_t>::max()) {
    return DISP_E_OVERFLOW;
  }
  *out = static_cast<std::int32_t>(whole);
  return S_OK;
}

__int128 ole_dec_to_integer(const DECIMAL& value) {
  exact_number number = exact_from_decimal(value);
  if (number.scale > DECIMAL_MAX_SCALE) number.scale = DECIMAL_MAX_SCALE;
  const std::optional<std::string> digits = rescale(number, 0);
  const __int128 magnitude = static_cast<__int128>(digits ? digits_value(*digits).value_or(0) : 0);
  return number.negative ? -magnitude : magnitude;
}

HRESULT ole_dec_from_integer(__int128 value, DECIMAL* out) {
  const bool negative = value < 0;
  const u128 magnitude =
      negative ? static_cast<u128>(0) - static_cast<u128>(value) : static_cast<u128>(value);
  if (magnitude >= decimal_limit) return DISP_E_OVERFLOW;
  DECIMAL result{};
  result.sign = negative ? DECIMAL_NEG : 0;
  result.Hi32 = static_cast<std::uint32_t>(magnitude >> 64);
  result.Lo64 = static_cast<std::uint64_t>(magnitude);
  *out = result;
  return S_OK;
}
