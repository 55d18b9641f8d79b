// Character-set conversions the server needs: the wire carries UTF-16LE (nvarchar, SQL text, names)
// and code page 1252 (varchar under the default collation); the engine keeps text as UTF-8. Free
// functions without state; safe from any thread.
#pragma once

#include <string>
#include <string_view>

namespace tds {

// Invalid sequences become U+FFFD; unpaired surrogates as well.
std::string utf16le_to_utf8(std::string_view bytes);
std::string utf8_to_utf16le(std::string_view text);
// Characters that code page 1252 cannot hold become '?', as SQL Server stores them in a varchar
// column.
std::string utf8_to_cp1252(std::string_view text);
std::string cp1252_to_utf8(std::string_view bytes);
// Length in UTF-16 code units (the unit of nvarchar(n)) and in code points (the unit of varchar(n)
// here).
size_t utf16_length(std::string_view text);
size_t code_points(std::string_view text);
// The first `count` UTF-16 units (or code points) of `text`, never splitting a character.
std::string utf8_prefix_units(std::string_view text, size_t count, bool utf16_units);
// Code points of UTF-8 text (invalid sequences become U+FFFD).
std::u32string utf8_to_u32(std::string_view text);
// ASCII-only case folding, enough for the default case-insensitive collation of names and keys.
std::string fold_case(std::string_view text);
bool iequals(std::string_view a, std::string_view b);

}  // namespace tds
