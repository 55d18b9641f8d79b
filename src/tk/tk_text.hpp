// Text helpers: trimming, character-set conversions and hex encoding.
//
// "Narrow" text is in the ANSI code page, which on Linux is the character set
// of the user's locale (UTF-8 under the C/POSIX locale). Every conversion in
// Tessaly goes through these functions; nothing else calls iconv. Characters
// that cannot be represented become '?' (narrow) and bytes that are not valid
// in their character set become U+FFFD (wide): a conversion never fails and
// never drops the rest of the text. All functions are thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The iconv name of the ANSI code page, chosen once at first use.
const std::string& tk_ansi_charset();

// Wide <-> ANSI code page.
std::string tk_w2a(std::wstring_view text);
std::wstring tk_a2w(std::string_view text);

// Wide <-> UTF-8.
std::string tk_w2utf8(std::wstring_view text);
std::wstring tk_utf82w(std::string_view text);

// Wide <-> any character set iconv knows ("UTF-16LE", "CP1251", ...).
std::string tk_w2charset(std::wstring_view text, const std::string& charset);
std::wstring tk_charset2w(std::string_view bytes, const std::string& charset);

// Spaces (code 32 only) are trimmed; tabs and line breaks are kept.
std::string tk_trim_left(std::string_view text);
std::string tk_trim_right(std::string_view text);
std::string tk_trim(std::string_view text);
std::wstring tk_trim_left(std::wstring_view text);
std::wstring tk_trim_right(std::wstring_view text);
std::wstring tk_trim(std::wstring_view text);

// Each byte as two upper-case hexadecimal digits, high nibble first.
std::string tk_hex_encode(const std::uint8_t* bytes, std::size_t count);

// Case-insensitive comparison of names in the user's locale.
int tk_compare_nocase(std::wstring_view a, std::wstring_view b);
std::wstring tk_to_lower(std::wstring_view text);
