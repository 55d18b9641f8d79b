// csv_file: a comma-separated-values file read as a source table.
//
// Opening reads the first line and makes the table's columns from it: with
// b_first_row_names the trimmed header texts (F<n> for an empty one), made
// unique by appending the suffixes "_", "1", "_", "2", "_", "3", "_", "1", ...
// until no column of that name exists (ignoring case); otherwise F1, F2, ...
// and the first line is the first record. Every column is text (VT_BSTR,
// declared size 50). Each following line is one record (csv_record); an empty
// line gives a record with one empty field, and the line end after the last
// line gives none.
//
// Reading: is_eof, create_record, move_next, as for every source recordset.
// get_progress() tells how much of the file has been read. The file is read
// through csv_line_reader (byte-order marks, line ends, the line-length limit);
// a file that cannot be opened or read raises tk_exception. This recordset is
// never a destination: append_record raises tk_exception.
//
// Ownership: owns its reader, schema and current record (valid until the next
// create_record or move_next). Thread-safety: one reading thread; another
// thread may call get_progress() at any time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "csv_line_reader.hpp"
#include "csv_record.hpp"
#include "udb_recordset.hpp"

class csv_file : public udb_recordset {
 public:
  static constexpr std::int32_t column_size = 50;
  static constexpr std::size_t max_columns = 1024;

  csv_file(const std::wstring& path, char delimiter, bool b_first_row_names);
  ~csv_file() override;

  // Always raises tk_exception "Error opening CSV file".
  void append_record(udb_record& record) override;
  udb_record* create_record() override;
  bool is_eof() override;
  void move_next() override;

  // Percentage of the file read, 0..100; 100 for an empty file.
  int get_progress() const;
  std::int64_t get_file_size() const { return file_size; }
  csv_line_reader::encoding get_encoding() const { return input->file_encoding(); }

  // A value as it would be written: between double quotes, with every double
  // quote doubled, when it holds the delimiter or a double quote.
  static std::wstring write_csv_field(const std::wstring& value, char delimiter);

 private:
  void read_line();
  void init_schema(bool b_first_row_names);

  char delimiter;
  std::wstring line;
  std::unique_ptr<csv_line_reader> input;
  std::int64_t file_size = 0;
  std::unique_ptr<csv_record> current_record;
};
