#include "ole_number_text.hpp"

#include <locale.h>
#include <stdlib.h>

#include <charconv>
#include <cmath>
#include <limits>

namespace {

locale_t c_locale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return locale;
}

bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Reads blanks, sign and digits; the magnitude in *magnitude, saturating.
bool read_integer(std::string_view text, bool* negative, std::uint64_t* magnitude, bool* overflow) {
  std::size_t i = 0;
  while (i < text.size() && is_blank(text[i])) ++i;
  *negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) *negative = text[i++] == '-';
  std::uint64_t value = 0;
  bool any = false;
  *overflow = false;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    any = true;
    const unsigned digit = static_cast<unsigned>(text[i] - '0');
    if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) {
      *overflow = true;
    } else {
      value = value * 10 + digit;
    }
  }
  *magnitude = value;
  return any;
}

}  // namespace

double ole_atof(const std::string& text) { return strtod_l(text.c_str(), nullptr, c_locale()); }

std::optional<std::int64_t> ole_read_int64(std::string_view text, bool* overflow) {
  bool negative = false;
  std::uint64_t magnitude = 0;
  if (!read_integer(text, &negative, &magnitude, overflow)) return std::nullopt;
  constexpr std::uint64_t max =
      static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
  if (magnitude > max + (negative ? 1 : 0)) *overflow = true;
  if (*overflow) return std::int64_t{0};
  if (negative) return static_cast<std::int64_t>(0 - magnitude);
  return static_cast<std::int64_t>(magnitude);
}

std::optional<std::uint64_t> ole_read_uint64(std::string_view text, bool* overflow) {
  bool negative = false;
  std::uint64_t magnitude = 0;
  if (!read_integer(text, &negative, &magnitude, overflow)) return std::nullopt;
  if (negative && magnitude != 0) *overflow = true;
  if (*overflow) return std::uint64_t{0};
  return magnitude;
}

std::optional<double> ole_parse_double(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && is_blank(text[i])) ++i;
  std::size_t end = text.size();
  while (end > i && is_blank(text[end - 1])) --end;
  std::string body(text.substr(i, end - i));
  // Only the plain decimal forms: no hexadecimal, infinity or NaN spellings.
  std::size_t j = 0;
  if (j < body.size() && (body[j] == '+' || body[j] == '-')) ++j;
  std::size_t digits = 0;
  while (j < body.size() && body[j] >= '0' && body[j] <= '9') ++j, ++digits;
  if (j < body.size() && body[j] == '.') {
    ++j;
    while (j < body.size() && body[j] >= '0' && body[j] <= '9') ++j, ++digits;
  }
  if (digits == 0) return std::nullopt;
  if (j < body.size() && (body[j] == 'e' || body[j] == 'E')) {
    ++j;
    if (j < body.size() && (body[j] == '+' || body[j] == '-')) ++j;
    std::size_t exponent_digits = 0;
    while (j < body.size() && body[j] >= '0' && body[j] <= '9') ++j, ++exponent_digits;
    if (exponent_digits == 0) return std::nullopt;
  }
  if (j != body.size()) return std::nullopt;
  return strtod_l(body.c_str(), nullptr, c_locale());
}

std::string ole_format_scientific(double value, int digits) {
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, digits);
  return std::string(buffer, result.ptr);
}

std::string ole_format_general(double value, int digits) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value < 0 ? "-Infinity" : "Infinity";
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, digits);
  std::string text(buffer, result.ptr);
  for (char& c : text) {
    if (c == 'e') c = 'E';
  }
  return text;
}
