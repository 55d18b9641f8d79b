// Text helpers: trimming, character-set conversions and hex encoding.
//
// "Narrow" text is in the ANSI code page, which on Linux is the character set
// of the user's locale (UTF-8 under the C/POSIX locale). Every conversion in
// Tessaly goes through these functions; nothing else calls iconv. Characters
// that cannot be represented become '?' (narrow) and bytes that are not valid
// in their character set become U+FFFD (wide): a conversion never fails and
// never drops the rest of the text. All functions are thread-safe.
#pragma once

#include <locale.h>

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

// A character-class locale that follows Unicode whatever the process locale
// is (glibc's C.UTF-8), or (locale_t)0 when the system lacks it. Names must
// compare and classify alike under cron's LC_ALL=C and an interactive UTF-8
// session, or the same sheets would land under different table names.
locale_t tk_unicode_ctype();

// Case-insensitive comparison of names by Unicode's simple case mapping
// (the user's locale only when the system has no Unicode locale).
int tk_compare_nocase(std::wstring_view a, std::wstring_view b);
std::wstring tk_to_lower(std::wstring_view text);
