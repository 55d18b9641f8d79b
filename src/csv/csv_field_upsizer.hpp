// csv_field_upsizer: widens destination text columns that a CSV value
// outgrows.
//
// Every CSV column is created as short text; process() looks at each record
// before it is written and, for each column whose value is longer than 255
// characters, asks the destination to widen that column (do_upsize, supplied
// by the destination's own upsizer) once per table. A failed widening leaves
// the column unmarked, so a later long value tries again.
//
// Ownership: refers to the destination database and table, which the driver
// owns and keeps alive while the upsizer lives. Not thread-safe.
#pragma once

#include <vector>

class t_ftd;
class udb_database;
class udb_record;
class udb_recordset;

class csv_field_upsizer {
 public:
  static constexpr int max_short_text = 255;

  // Neither pointer may be null.
  csv_field_upsizer(udb_database* database, udb_recordset* table);
  virtual ~csv_field_upsizer();

  csv_field_upsizer(const csv_field_upsizer&) = delete;
  csv_field_upsizer& operator=(const csv_field_upsizer&) = delete;

  void process(const udb_record& record);

  bool is_upsized(std::size_t column) const { return column < upsized.size() && upsized[column]; }

 protected:
  // Widens one column of the destination table, named by its definition.
  virtual void do_upsize(t_ftd& field) = 0;

  udb_database* get_database() const { return database_; }
  udb_recordset* get_table() const { return table_; }

  std::vector<bool> upsized;  // one per column, set once widened

 private:
  udb_database* database_;
  udb_recordset* table_;
};
