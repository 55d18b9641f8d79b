// csv_field_upsizer: widens destination text columns that a CSV value
// outgrows, before the record is written.
//
// Every CSV column is created as short text. process() looks at each text
// value of a record and, the first time a value is longer than its column
// takes, asks the destination to widen that column (do_upsize, supplied by
// the destination's own upsizer): to max_short_text characters when the value
// fits there, to a long text column otherwise. A column so reaches long text
// in at most two steps, and the table's recorded size follows each step, so
// later values are measured against the new size. A failed widening raises
// and leaves the column as it was; a later long value tries again.
//
// Ownership: refers to the destination database and table, which the driver
// owns and keeps alive while the upsizer lives. Not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>

class udb_database;
class udb_field;
class udb_record;
class udb_recordset;

class csv_field_upsizer {
 public:
  // The size a worksheet's text column has: the first widening step.
  static constexpr std::int32_t max_short_text = 255;

  // Neither pointer may be null.
  csv_field_upsizer(udb_database* database, udb_recordset* table);
  virtual ~csv_field_upsizer();

  csv_field_upsizer(const csv_field_upsizer&) = delete;
  csv_field_upsizer& operator=(const csv_field_upsizer&) = delete;

  void process(const udb_record& record);

 protected:
  // The size a value needs in the column's units; characters by default.
  virtual std::int32_t value_size(const udb_field& value) const;
  // The longest value column `position` takes without widening; 0 when it
  // takes any (a long column). By default the column's declared size.
  virtual std::int32_t column_limit(std::size_t position) const;
  // Widens column `position` to `new_size` characters (0: long text).
  virtual void do_upsize(std::size_t position, std::int32_t new_size) = 0;

  udb_database* get_database() const { return database_; }
  udb_recordset* get_table() const { return table_; }

 private:
  udb_database* database_;
  udb_recordset* table_;
};
