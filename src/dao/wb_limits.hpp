// Limits that keep a hostile workbook from exhausting memory or time.
//
// Every size the reader takes from a file is checked against one of these
// before anything is allocated for it. They lie far above what Excel itself
// writes (1,048,576 rows, 16,384 columns, 32,767 characters in a cell), so a
// genuine workbook never meets them. Constants only.
#pragma once

#include <cstdint>

namespace wb_limits {
// Excel's own grid.
inline constexpr std::uint32_t max_rows = 1048576;
inline constexpr std::uint32_t max_columns = 16384;
// One cell's text; Excel stops at 32,767 characters, formulas can build more.
inline constexpr std::size_t max_cell_chars = 1u << 20;
// Parts read whole (workbook, relationships, styles): uncompressed bytes.
inline constexpr std::uint64_t max_small_part = 64ull << 20;
// The shared-string table: entries and characters in total.
inline constexpr std::size_t max_shared_strings = 16u << 20;
inline constexpr std::size_t max_shared_chars = 512u << 20;
// A worksheet part or the .xls workbook stream, uncompressed.
inline constexpr std::uint64_t max_sheet_part = 8ull << 30;
// Number formats, cell formats, sheets and defined names.
inline constexpr std::size_t max_styles = 1u << 20;
inline constexpr std::size_t max_sheets = 1u << 16;
inline constexpr std::size_t max_names = 1u << 16;
// Entries of a zip archive or a compound file's directory.
inline constexpr std::size_t max_entries = 1u << 20;
}  // namespace wb_limits
