// Locale-independent reading and writing of numbers in text.
//
// Values travel to SQL Server with '.' as the decimal point whatever the
// user's locale (the wizard's toolkit sets LC_NUMERIC from the environment),
// so nothing here goes through the C library's locale: reading uses the "C"
// locale explicitly and writing uses std::to_chars. Thread-safe.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// atof: leading blanks skipped, the longest numeric prefix read, 0 when none.
double ole_atof(const std::string& text);

// The integer at the start of the text (leading blanks, optional sign,
// decimal digits), as atoi reads it but without its undefined overflow:
// nullopt when there are no digits; *overflow set when the digits do not fit.
std::optional<std::int64_t> ole_read_int64(std::string_view text, bool* overflow);
std::optional<std::uint64_t> ole_read_uint64(std::string_view text, bool* overflow);

// Exactly one number and nothing else but blanks around it: optional sign,
// digits with an optional '.' fraction, optional exponent. nullopt otherwise.
std::optional<double> ole_parse_double(std::string_view text);

// printf's "%.<digits>e" in the "C" locale ("1.500000000000000e+00").
std::string ole_format_scientific(double value, int digits);

// printf's "%.<digits>G" in the "C" locale: the shortest of fixed and
// exponent forms with at most `digits` significant digits ("1.5", "1E+20").
std::string ole_format_general(double value, int digits);
