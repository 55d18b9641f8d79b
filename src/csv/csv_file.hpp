// csv_file: a comma-separated-values file read as a source table.
//
// Opening reads the first record and makes the table's columns from it: with
// b_first_row_names the header texts (tabs and line breaks turned into
// spaces, runs of blanks made one, trimmed; F<n> for an empty one) made
// unique by appending the suffixes "_", "1", "_", "2", "_", "3", "_", "1", ...
// until no column of that name exists (ignoring case); otherwise F1, F2, ...
// and the first record is the first row. Every column is text (VT_BSTR,
// declared size 50). A first record that cannot be read whole, or a header
// that is not valid text in the file's character set, stops the run
// (tk_exception, level 1) with what to do about it.
//
// Each following record is one row (csv_file reads them through
// csv_record_reader: dialect, encodings, line numbers, the record limit). A
// row shorter than the columns gets NULL for the rest; extra fields that are
// all empty are dropped. A record that cannot be loaded (more fields than
// columns, invalid bytes, too long, a quote never closed) makes
// create_record raise tk_exception at level 0 with what was wrong; the
// driver reports it under the record's number and line, and move_next goes
// on with the next record.
//
// Reading: is_eof, create_record, move_next, as for every source recordset.
// get_progress() tells how much of the file has been read. This recordset is
// never a destination: append_record raises tk_exception.
//
// Ownership: owns its reader, schema and the one record it fills again for
// each row (what create_record returns is valid until the next create_record
// or move_next, which may change it). Thread-safety: one reading thread; another
// thread may call get_progress() at any time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "csv_fields.hpp"
#include "csv_record.hpp"
#include "csv_record_reader.hpp"
#include "udb_recordset.hpp"

class csv_file : public udb_recordset {
 public:
  static constexpr std::int32_t column_size = 50;
  static constexpr std::size_t max_columns = 1024;

  // `encoding`: an iconv name, empty for the ANSI code page; a byte-order
  // mark in the file wins.
  csv_file(const std::wstring& path, wchar_t delimiter, bool b_first_row_names,
           const std::string& encoding = {});
  csv_file(const std::wstring& path, const csv_record_reader::options& options,
           bool b_first_row_names);
  ~csv_file() override;

  // Always raises tk_exception "Error opening CSV file".
  void append_record(udb_record& record) override;
  // The current row; raises tk_exception (level 0) for a record that cannot
  // be loaded.
  udb_record* create_record() override;
  bool is_eof() override;
  // The current record's fields as cut, for a pass that only reads texts
  // (no row is built); null for a record create_record would refuse.
  const csv_fields* current_fields() const;
  void move_next() override;

  // The line where the current record starts, from 1.
  std::int64_t record_line() const { return reader_->record_line(); }
  // The line where record `number` (1 for the first row) started, while it
  // is among the last lines_kept records read; 0 otherwise.
  std::int64_t line_of_record(long number) const;
  static constexpr std::size_t lines_kept = 8192;

  // Percentage of the file read, 0..100; 100 for an empty file.
  int get_progress() const;
  std::int64_t get_file_size() const { return file_size; }
  // The character set the file is read in.
  const std::string& get_encoding() const { return reader_->encoding(); }

  // A value as it would be written: between double quotes, with every double
  // quote doubled, when it holds the delimiter, a double quote or a line end.
  static std::wstring write_csv_field(const std::wstring& value, wchar_t delimiter);

 private:
  void read_record();
  void init_schema(bool b_first_row_names);
  // What went wrong with the current record, for the error handler.
  std::string failure_text() const;
  [[noreturn]] void fail_first_record(bool b_first_row_names) const;

  std::unique_ptr<csv_record_reader> reader_;
  csv_record_reader::status status_ = csv_record_reader::status::end_of_file;
  csv_fields fields_;
  bool b_header_ = false;
  std::int64_t file_size = 0;
  long record_number_ = 0;                  // of the current record, from 1
  std::vector<std::int64_t> record_lines_;  // by record number modulo lines_kept
  std::unique_ptr<csv_record> current_record;
};
