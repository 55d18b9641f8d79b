// table_typing: the column types of a table this run creates, and the
// conversion of each value to them.
//
// Built from one column_classifier per source column once every value has
// been fed (a first pass over a CSV file, the typing pass over a worksheet).
// typed_schema() is the source schema with each column given its verdict's
// SQL Server type; convert() turns the values of one record into the typed
// values those columns take, with our own readers (the ones the values were
// judged with), before the record goes to the destination. Text columns and
// columns whose declared type stands keep their values as they are.
//
// Values sent to a typed column: int, bigint and bit as integers, float as a
// double, money as currency; decimal, date, datetime2, time and datetime as
// their exact written form ("-123.45", "2021-12-25 10:00:00.1234567",
// "10:00:00.5", "2021-12-25T10:00:00.000"), which no SQL Server setting reads
// another way and which carries more digits than the value types hold.
//
// Ownership: owns its verdicts. Thread-safety: none; the run's thread.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "column_classifier.hpp"
#include "column_verdict.hpp"

class csv_file;
class dao_recordset;
class udb_record;
class udb_schema;

class table_typing {
 public:
  // Verdicts of the classifiers, in column order; traced at level 3.
  // b_cells: the classifiers were fed workbook cells, whose values are
  // converted only where the type changes (whole numbers to int or bigint,
  // dates at midnight to date); the others already have their type.
  table_typing(const std::wstring& table, const std::vector<column_classifier>& columns,
               const classify_options& options, bool b_cells);

  // Reads every record of a workbook's table, from its first, feeding each
  // cell to its column's classifier, and goes back to the first record.
  // Columns of times within a day keep their type.
  static table_typing classify_sheet(const std::wstring& table, dao_recordset& sheet,
                                     const classify_options& options);
  // Reads every record of a CSV file that is positioned on its first row
  // (nothing else is built; records that cannot be read are left to the load
  // pass to report) and classifies each column from its texts.
  static table_typing classify_csv(const std::wstring& table, csv_file& pass,
                                   const classify_options& options);

  // The source schema with the verdicts' types; owns its columns.
  std::unique_ptr<udb_schema> typed_schema(const udb_schema& source) const;

  // Converts the record's values in place. A value that does not convert
  // raises tk_exception (level 0) naming the column, the value and its type.
  void convert(udb_record& record) const;

  const std::vector<column_verdict>& verdicts() const { return verdicts_; }
  // Whether any column changes type, so that values need converting.
  bool is_typed() const { return b_typed_; }

 private:
  std::vector<column_verdict> verdicts_;
  std::vector<bool> converts_;  // per column: whether its values change type
  std::vector<std::wstring> names_;
  bool b_typed_ = false;
};
