// The plain values the workbook reader hands out: cells, sheets and names.
//
// A wb_cell is one non-empty cell as the file stores it, before any column
// typing: its position, its kind and its value, and what its number format
// says about a number (a date or time, a currency amount). Dates stay as
// the file's serial numbers here; the date system is the workbook's.
// Plain values; thread-safe as any value.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

enum class wb_kind : std::uint8_t { empty, number, text, boolean, error };

// What a cell's number format makes of a number. A duration is an elapsed
// time ("[h]:mm:ss"): a count of days that may pass 24 hours, not a date.
enum class wb_format_class : std::uint8_t { plain, date, currency, duration };

struct wb_cell {
  std::uint32_t row = 0;  // 0-based
  std::uint32_t col = 0;  // 0-based
  wb_kind kind = wb_kind::empty;
  wb_format_class format = wb_format_class::plain;
  double number = 0;  // number, or 0/1 for a boolean
  std::wstring text;  // text of its own
  // A shared string: a view into the workbook's table, which outlives every
  // cell; saves a copy per cell. Empty when `text` holds the text.
  std::wstring_view shared;

  std::wstring_view str() const { return text.empty() ? shared : std::wstring_view(text); }
};

enum class wb_sheet_kind : std::uint8_t { worksheet, chart, other };

struct wb_sheet_info {
  std::wstring name;
  wb_sheet_kind kind = wb_sheet_kind::worksheet;
  bool b_hidden = false;
  std::string part;          // xlsx: the worksheet's part name; xls: empty
  std::uint64_t offset = 0;  // xls: position of the sheet's BOF in the stream
};

// A rectangle of cells, bounds included, 0-based.
struct wb_area {
  std::uint32_t first_row = 0;
  std::uint32_t last_row = 0;
  std::uint32_t first_col = 0;
  std::uint32_t last_col = 0;
  bool contains(std::uint32_t row, std::uint32_t col) const {
    return row >= first_row && row <= last_row && col >= first_col && col <= last_col;
  }
};

struct wb_defined_name {
  std::wstring name;     // as Excel shows it (built-in names without "_xlnm.")
  int sheet_scope = -1;  // sheet index for a sheet-level name, -1 for the workbook
  bool b_hidden = false;
  int area_sheet = -1;  // the sheet the name refers to, -1 when not one plain area
  wb_area area;
};
