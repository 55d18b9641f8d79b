// Small text helpers of the workbook reader: UTF-8 to wide text, the _xHHHH_
// escapes of OOXML strings, A1 cell references and defined-name areas.
//
// The XML parser hands out UTF-8 for every cell, so the conversion here is a
// plain decoder rather than a round trip through iconv. Pure functions;
// thread-safe.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "wb_types.hpp"

// Appends the decoded text; a malformed sequence becomes U+FFFD.
void wb_append_utf8(std::string_view utf8, std::wstring& out);
std::wstring wb_from_utf8(std::string_view utf8);

// Replaces each _xHHHH_ escape by the character it stands for.
std::wstring wb_decode_escapes(std::wstring text);

// "B7" → column 1, row 6. Nothing for a malformed or out-of-grid reference.
struct wb_cell_ref {
  std::uint32_t row = 0;
  std::uint32_t col = 0;
};
std::optional<wb_cell_ref> wb_parse_ref(std::string_view ref);
// Only the column letters of a reference ("B7" → 1).
std::optional<std::uint32_t> wb_parse_col(std::string_view ref);

// A defined name's formula when it is one plain area of one sheet:
// "Sheet1!$A$1:$C$9", "'My data'!A:C", "Data!$3:$5". `sheet` gets the sheet's
// name (quotes removed).
std::optional<wb_area> wb_parse_area(std::string_view formula, std::wstring& sheet);
