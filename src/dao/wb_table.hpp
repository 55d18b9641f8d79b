// wb_table: one worksheet (or named area) as a table with typed columns.
//
// Construction makes the typing pass: it streams every cell of the sheet
// once and keeps, per column, which kinds of value it holds and the longest
// text, so that a column's type is decided from all its non-empty cells and
// not from the first rows. Memory is bounded by the number of columns.
// The cells it decoded are kept in a wb_cell_spool (memory up to a budget,
// a temporary file beyond), and rows() replays them, handing out one row of
// values at a time, each already in its column's type.
//
// The table's extent is the used range: from the first to the last row and
// column that hold a value (inside the area for a defined name). With
// header names the first row of that range names the columns; empty names
// become F<n> (n the 1-based column of the range) and repeated ones get a
// number. Rows inside the range without values are rows of NULLs.
//
// Column types: all numbers → number (currency when all are amounts), all
// dates or times → date, all booleans → boolean, all durations (numbers in
// an elapsed-time format such as [h]:mm:ss) → time when every one lies
// within a day, else text in the form "30:15:00"; anything else → text; a
// text column whose longest value exceeds 255 characters is long text.
// A column of mixed kinds keeps every value as it would be displayed.
// Values: blank and error cells are NULL (error cells are counted); a text
// of length zero is an empty text, which counts as a value; a date number
// becomes an OLE date (day 0 = 1899-12-30; a value below 1 is a time on
// day 0); the fictitious 1900-02-29 (serial 60 in the 1900 system) is NULL;
// a number under a date format that no date can hold stays a number.
// A used range wider than a SQL Server table's 1,024 columns is refused as
// soon as the typing pass meets a cell that makes it so.
//
// Refers to the workbook, which must outlive the table and its cursors.
// Not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "wb_cell_spool.hpp"
#include "wb_cell_stream.hpp"
#include "wb_types.hpp"

class wb_workbook;

enum class wb_column_type : std::uint8_t {
  text,
  long_text,
  number,
  currency,
  date,
  boolean,
  time,  // durations within a day
};

struct wb_column {
  std::wstring name;
  wb_column_type type = wb_column_type::text;
  std::size_t max_length = 0;  // longest text value, in characters
};

// One value of a row, in its column's type.
struct wb_value {
  enum class kind_t : std::uint8_t { null, number, currency, date, boolean, text };
  kind_t kind = kind_t::null;
  double number = 0;  // number, currency, OLE date, boolean (0/1)
  std::wstring text;
};

// The conversions the typing pass and the values agree on.
class wb_cell_value final {
 public:
  enum class date_result : std::uint8_t { ok, null, invalid };
  // An Excel serial of the workbook's date system as an OLE date number.
  static date_result serial_to_ole(double serial, bool b_1904, double& ole);
  // The text a cell shows, as the mixed-column rule keeps it.
  static std::wstring display(const wb_cell& cell, bool b_1904);
  // The same into `out`, reusing its buffer.
  static void display(const wb_cell& cell, bool b_1904, std::wstring& out);
  // Excel's General form of a number (up to 15 significant digits).
  static std::wstring general(double number);
  // A duration in days as hours, minutes and whole seconds: "30:15:00",
  // "06:15:00", "-01:30:00".
  static std::wstring duration(double days);
};

class wb_row_cursor {
 public:
  wb_row_cursor(std::unique_ptr<wb_cell_stream> cells, const class wb_table& table);
  // The next row; false after the last. `values` gets one value per column.
  bool next(std::vector<wb_value>& values);

 private:
  std::unique_ptr<wb_cell_stream> cells_;
  const wb_table& table_;
  std::uint32_t row_;  // the row the next call hands out
  wb_cell pending_;
  bool b_pending_ = false;
  bool b_cells_done_ = false;
};

class wb_table final {
 public:
  // `area`: restricts the table to a defined name's rectangle.
  wb_table(const wb_workbook& book, std::size_t sheet, std::optional<wb_area> area, bool b_header);

  // The most columns a table can have: SQL Server's limit.
  static constexpr std::uint32_t max_table_columns = 1024;

  const std::vector<wb_column>& columns() const { return columns_; }
  std::uint32_t record_count() const { return record_count_; }
  // Error cells (#N/A, #DIV/0!, ...) among the records; each reads as NULL.
  std::uint64_t error_cells() const { return error_cells_; }
  std::unique_ptr<wb_row_cursor> rows() const;

 private:
  friend class wb_row_cursor;
  // The kinds a column holds, as the typing pass counts them.
  struct column_stats {
    bool number = false, currency = false, date = false, boolean = false, text = false;
    bool duration = false, long_duration = false;  // long: a day or more, or negative
    std::size_t max_text = 0;                      // longest text value
    std::size_t max_display = 0;                   // longest displayed form of any value
    bool header_set = false;
    std::wstring header;
  };
  enum class cell_class : std::uint8_t { none, number, currency, date, boolean, text, duration };
  cell_class classify(const wb_cell& cell) const;
  // Fills `value` in place (its text buffer is reused).
  void value_of(const wb_cell& cell, std::size_t column, wb_value& value) const;
  bool in_area(const wb_cell& cell) const;
  void count(column_stats& stats, const wb_cell& cell);
  wb_column make_column(const column_stats& stats) const;

  const wb_workbook& book_;
  std::optional<wb_area> area_;
  wb_cell_spool spool_;
  std::vector<wb_column> columns_;
  std::uint32_t first_col_ = 0;
  std::uint32_t first_row_ = 0;  // first data row (after the header)
  std::uint32_t last_row_ = 0;
  std::uint32_t record_count_ = 0;
  std::uint64_t error_cells_ = 0;
};
