// mss_field_upsizer: widens a text column of the destination before a CSV
// value that would not fit is written.
//
// A CSV column starts narrow. The first value longer than the column widens
// it to nvarchar(255) when the value fits in 255 characters, to
// nvarchar(max) otherwise; one ALTER statement per step and column. The
// table's recorded column size follows, so later values are checked against
// the new size, and a column reaches nvarchar(max) in at most two steps.
// Sizes count UTF-16 units, as the server does. A failing ALTER leaves the
// column as it was; a later long value tries again.
//
// Holds references to the database and the table, which must outlive it.
// One thread.
#pragma once

#include <cstdint>
#include <vector>

#include "t_ftd.hpp"
#include "udb_database.hpp"
#include "udb_record.hpp"
#include "udb_recordset.hpp"

class mss_database;
class mss_table;

class mss_field_upsizer {
 public:
  // Both must be the SQL Server destination's (mss_database, mss_table).
  mss_field_upsizer(udb_database& database, udb_recordset& table);
  virtual ~mss_field_upsizer();

  // Widens every column of the table that a value of `record` outgrows.
  void process(const udb_record& record);
  // Widens column `position` for a value of `needed` UTF-16 units.
  void do_upsize(std::size_t position, std::int32_t needed);

  // How many ALTER statements were sent.
  int statements() const { return statements_; }

 private:
  mss_database* database_;
  mss_table* table_;
  int statements_ = 0;
};

// Length of a text in UTF-16 code units.
std::int32_t mss_utf16_length(const std::wstring& text);
